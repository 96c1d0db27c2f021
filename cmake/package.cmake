# The Debian package: `cpack -G DEB` in the build directory writes
# conv2model_VERSION_ARCH.deb with the programs, their manual pages (compressed), their
# bash completions, the Python reader of work files and the package's documents.
#
# What `cmake --install` puts in a prefix (the programs, the plain pages and the
# completions) comes from the components programs, manual and completion; what only the
# package carries is in the component debian, which `cmake --install` leaves out unless
# asked (`--component debian`): Debian's paths and compressed pages mean nothing in a
# user's prefix.

# conv2model_package_man_page(PAGE)
#
# The page PAGE, compressed as Debian's policy asks (gzip -9n: no name, no time stamp, so
# that two builds give the same bytes), for the package only.
function(conv2model_package_man_page page)
  get_filename_component(name ${page} NAME)
  set(out ${PROJECT_BINARY_DIR}/package/man1/${name}.gz)
  set_property(GLOBAL APPEND PROPERTY CONV2MODEL_PACKAGE_PAGES "${page}|${out}")
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT debian
          EXCLUDE_FROM_ALL)
endfunction()

# conv2model_package()
#
# After every program is defined: the compressed pages, the documents and CPack's
# settings. Called once, at the end of the top-level CMakeLists.txt.
function(conv2model_package)
  get_property(pages GLOBAL PROPERTY CONV2MODEL_PACKAGE_PAGES)
  set(outputs "")
  foreach(entry IN LISTS pages)
    string(REPLACE "|" ";" pair "${entry}")
    list(GET pair 0 page)
    list(GET pair 1 out)
    add_custom_command(OUTPUT ${out}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/package/man1
                       COMMAND gzip -9nc ${page} > ${out}
                       DEPENDS ${page} VERBATIM)
    list(APPEND outputs ${out})
  endforeach()
  # Debian keeps the changes of a package without a Debian revision in changelog.gz.
  set(changelog ${PROJECT_BINARY_DIR}/package/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
                     COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(package_files ALL DEPENDS ${outputs} ${changelog})

  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PROJECT_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
                ${changelog}
          DESTINATION ${doc} COMPONENT debian EXCLUDE_FROM_ALL)
  # README's links lead into docs/: the pages and their pictures go beside it, so that
  # they hold in the installed copy too.
  file(GLOB guide CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
  install(FILES ${guide} DESTINATION ${doc}/docs COMPONENT debian EXCLUDE_FROM_ALL)

  set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "conv2model developers")
  set(CPACK_PACKAGE_CONTACT "${CONV2MODEL_MAINTAINER}")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "converts a pressure-level analysis into a limited-area model's initial data")
  set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/description)
  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  # Only the components the package carries: the plain pages give way to the compressed.
  set(CPACK_COMPONENTS_ALL programs completion debian)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CONV2MODEL_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends from the libraries the programs link (dpkg-shlibdeps, from dpkg-dev), and
  # python3 for the reader in its dist-packages; the batch is bash, which every Debian
  # system has. The reader needs numpy to be imported, the programs do not.
  #
  # lintian has no errors or warnings to give. Among its informational tags: no
  # hardening flags (the package carries the build as configured; CMAKE_CXX_FLAGS can
  # add dpkg-buildflags' -D_FORTIFY_SOURCE=2 and -Wl,-z,now), "lon" taken for a typo of
  # "long" (it is longitude) and "fileld" (a text of the converter's log format, kept
  # byte for byte).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "parallel, python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "slurm-client, python3-xarray")
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
  # Directories as Debian's tools make them, whatever the builder's umask.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  include(CPack)
endfunction()
