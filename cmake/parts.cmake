# The parts of the build beyond the converter, and the programs that users run.
include(GNUInstallDirs)

# conv2model_part(NAME DIR WHAT NEED...)
#
# A part that needs packages beyond the compiler: its directory DIR is added when all of
# them are found. Its switch CONV2MODEL_NAME is AUTO (the default: build it when
# everything is found, else say in one line what was left out and which Debian packages
# bring it back), ON (missing packages stop the configuration) or OFF. WHAT names the
# part in messages. Each NEED is PACKAGE=DEBIAN: PACKAGE is a find_package name, or
# pkg-config:MODULE for a library found by pkg-config (imported as PkgConfig::MODULE);
# DEBIAN is the package that provides it. -DCMAKE_DISABLE_FIND_PACKAGE_NAME=ON hides
# either kind, as on a machine without it. Afterwards CONV2MODEL_NAME is ON or OFF.
function(conv2model_part name dir what)
  set(switch CONV2MODEL_${name})
  set(${switch} AUTO CACHE STRING "Build ${what}: AUTO (when its packages are found), ON, OFF")
  set_property(CACHE ${switch} PROPERTY STRINGS AUTO ON OFF)
  set(value "${${switch}}")
  string(TOLOWER "${name}" group)

  if(value STREQUAL "AUTO" OR value STREQUAL "")
    set(required FALSE)
  elseif(value)
    set(required TRUE)
  else()
    message(STATUS "Not building ${what} (${switch}=${value})")
    set(${switch} OFF PARENT_SCOPE)
    return()
  endif()

  set(missing "")
  set(debian "")
  foreach(need IN LISTS ARGN)
    string(REGEX MATCH "^([^=]+)=(.+)$" ok "${need}")
    if(NOT ok)
      message(FATAL_ERROR "conv2model_part(${name}): '${need}' is not PACKAGE=DEBIAN")
    endif()
    set(package ${CMAKE_MATCH_1})
    set(deb ${CMAKE_MATCH_2})
    if(package MATCHES "^pkg-config:(.+)$")
      set(module ${CMAKE_MATCH_1})
      set(found FALSE)
      if(NOT CMAKE_DISABLE_FIND_PACKAGE_${module})
        find_package(PkgConfig QUIET)
        if(PkgConfig_FOUND)
          pkg_check_modules(${module} QUIET IMPORTED_TARGET GLOBAL ${module})
          set(found ${${module}_FOUND})
        else()
          string(PREPEND deb "pkg-config ")
        endif()
      endif()
      set(package ${module})
    else()
      find_package(${package} QUIET)
      set(found ${${package}_FOUND})
    endif()
    if(NOT found)
      list(APPEND missing ${package})
      list(APPEND debian ${deb})
    endif()
  endforeach()

  if(missing)
    list(JOIN missing ", " missing)
    list(JOIN debian " " debian)
    if(required)
      message(FATAL_ERROR "${switch}=${value}, but ${what} needs ${missing}, not found "
              "(Debian: apt-get install ${debian}, or tools/install_deps.sh ${group})")
    endif()
    message(STATUS "Left out ${what}: ${missing} not found "
            "(Debian: apt-get install ${debian}, or tools/install_deps.sh ${group})")
    set(${switch} OFF PARENT_SCOPE)
    return()
  endif()

  set(${switch} ON)
  set(${switch} ON PARENT_SCOPE)
  add_subdirectory(${dir})
endfunction()

# conv2model_program(NAME [SCRIPT])
#
# A program that users run: the target NAME, or the script SCRIPT (by default NAME in
# the current source directory). Built beside conv2model, installed with its manual page
# docs/man/NAME.1, and checked by the installation test.
function(conv2model_program name)
  set(page ${PROJECT_SOURCE_DIR}/docs/man/${name}.1)
  if(NOT EXISTS ${page})
    message(FATAL_ERROR "${name} has no manual page: docs/man/${name}.1 is missing")
  endif()
  if(TARGET ${name})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  elseif(ARGC GREATER 1)
    install(PROGRAMS ${ARGV1} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  else()
    install(PROGRAMS ${CMAKE_CURRENT_SOURCE_DIR}/${name} DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT programs)
  endif()
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manual)
  # The Debian package carries the page compressed, as Debian's policy asks (see
  # cmake/package.cmake).
  conv2model_package_man_page(${page})
  set_property(GLOBAL APPEND PROPERTY CONV2MODEL_PROGRAMS ${name})
endfunction()

# The library of what the companions share (companion/common), added once by whichever
# companion comes first.
macro(conv2model_companion_common)
  if(NOT TARGET companion_files)
    add_subdirectory(${PROJECT_SOURCE_DIR}/companion/common ${PROJECT_BINARY_DIR}/companion/common)
  endif()
endmacro()
