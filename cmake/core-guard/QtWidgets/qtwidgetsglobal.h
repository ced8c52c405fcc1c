// Placed first on the include path of the core libraries: every Qt Widgets
// header includes this one (see ../QtGui/qtguiglobal.h).
#error "a core library must not include Qt Widgets: move this code to a ui/ library"
