# Core libraries hold the logic and must run without a display: they never
# use Qt Gui or Widgets. Two checks keep it so:
#  - at compile time, cmake/core-guard comes first on their include path and
#    turns any Qt Gui or Widgets header into an #error;
#  - at configure time, halvern_check_core_libraries() fails when Qt6::Gui or
#    Qt6::Widgets is reachable through their link libraries.
# The rooms inside a folder are kept apart the same way: a room includes only
# from the rooms it links (each room puts only its own folder on the include
# path), and halvern_room_never_uses() names what a room must never reach,
# checked by halvern_check_core_libraries() too. The same holds between
# folders: src/archive (the lab archive) reads what the journal room wrote
# and never links an office, a port or the live run (its rule is in
# src/archive/CMakeLists.txt).

set(HALVERN_CORE_GUARD_DIR ${CMAKE_CURRENT_LIST_DIR}/core-guard)

# halvern_core_library(<name> <sources>...)
function(halvern_core_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} BEFORE PRIVATE ${HALVERN_CORE_GUARD_DIR})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY HALVERN_CORE_LIBRARIES ${name})
endfunction()

function(_halvern_link_closure target out)
  set(seen ${${out}})
  get_target_property(direct ${target} LINK_LIBRARIES)
  get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(dep IN LISTS direct iface)
    if(dep AND TARGET ${dep} AND NOT dep IN_LIST seen)
      list(APPEND seen ${dep})
      _halvern_link_closure(${dep} seen)
    endif()
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# halvern_room_never_uses(<room> <library>...): <room> must not link any of
# the libraries, directly or through others.
function(halvern_room_never_uses room)
  foreach(forbidden IN LISTS ARGN)
    set_property(GLOBAL APPEND PROPERTY HALVERN_ROOM_RULES "${room}>${forbidden}")
  endforeach()
endfunction()

# Call once, after every library is defined.
function(halvern_check_core_libraries)
  get_property(rules GLOBAL PROPERTY HALVERN_ROOM_RULES)
  foreach(rule IN LISTS rules)
    string(REPLACE ">" ";" parts "${rule}")
    list(GET parts 0 room)
    list(GET parts 1 forbidden)
    set(closure "")
    _halvern_link_closure(${room} closure)
    if(forbidden IN_LIST closure)
      message(FATAL_ERROR "${room} links ${forbidden}, which it must never use")
    endif()
  endforeach()
  get_property(cores GLOBAL PROPERTY HALVERN_CORE_LIBRARIES)
  foreach(core IN LISTS cores)
    set(closure "")
    _halvern_link_closure(${core} closure)
    foreach(forbidden Qt6::Gui Qt6::Widgets)
      if(forbidden IN_LIST closure)
        message(FATAL_ERROR "core library ${core} links ${forbidden}: move the window code to a ui/ library")
      endif()
    endforeach()
  endforeach()
endfunction()
