// Placed first on the include path of the core libraries: every Qt Gui
// header includes this one, so a core library that reaches for Qt Gui fails
// to compile here instead of quietly growing a dependency on a display.
#error "a core library must not include Qt Gui: move this code to a ui/ library"
