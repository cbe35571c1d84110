# The Debian package: "cpack -G DEB" in the build folder makes
# zorv-dla_VERSION_ARCH.deb. Its install (which CPack runs with ZORV_DEB set)
# puts in Debian's copyright file, a compressed changelog and compressed
# manual pages where a plain install puts LICENSE and the pages as they are;
# it refreshes no cache, as the desktop's own packages do that by their
# triggers when files land in their folders.
set(ZORV_MAINTAINER "the zorv-dla developers <zorv-dla@example.org>" CACHE STRING
    "The Debian package's maintainer: name and mail address")

# The package's own files, made in the build.
set(debfiles ${CMAKE_CURRENT_BINARY_DIR}/deb)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${licence}")
set(ZORV_COPYRIGHT ${CMAKE_MATCH_1})
# The licence text below its name, as the copyright format wants it: each
# line indented by one blank, an empty line as " .".
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" text "${licence}")
string(STRIP "${text}" text)
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " ZORV_LICENSE_TEXT " ${text}")
configure_file(debian/copyright.in ${debfiles}/copyright @ONLY)

file(STRINGS debian/changelog top LIMIT_COUNT 1)
if(NOT top MATCHES "^zorv-dla \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/debian/changelog does not begin with version ${PROJECT_VERSION}: ${top}")
endif()

find_program(ZORV_GZIP gzip)
set(pages)
foreach(program IN LISTS programs)
  list(APPEND pages ${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.1)
endforeach()
set(compressed)
foreach(src IN LISTS pages ITEMS ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog)
  get_filename_component(name ${src} NAME)
  if(ZORV_GZIP)
    # -n: no name or time in the header, so the same page gives the same bytes.
    add_custom_command(OUTPUT ${debfiles}/${name}.gz
                       COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${ZORV_GZIP} ${src} ${debfiles}/${name}.gz
                       DEPENDS ${src} VERBATIM)
    list(APPEND compressed ${debfiles}/${name}.gz)
  endif()
endforeach()
add_custom_target(zorv_deb_files ALL DEPENDS ${compressed})

# zorv_install_doc(PLAIN PACKAGED DESTINATION) installs the file PLAIN, or
# for the Debian package the files PACKAGED, into DESTINATION.
function(zorv_install_doc plain packaged destination)
  install(CODE "
    if(ZORV_DEB)
      foreach(file IN ITEMS ${packaged})
        if(NOT EXISTS \"\${file}\")
          message(FATAL_ERROR \"\${file} is missing: the Debian package needs gzip to build\")
        endif()
      endforeach()
      file(INSTALL ${packaged} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\")
    else()
      file(INSTALL \"${plain}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\")
    endif()
  ")
endfunction()

# zorv_strip_notes(FILE...) takes the compiler's notes out of the installed
# programs FILE (relative to the prefix) in the package, as Debian's own
# stripping does; CPack's stripping leaves them.
function(zorv_strip_notes)
  if(CMAKE_STRIP)
    install(CODE "
      if(ZORV_DEB)
        foreach(file IN ITEMS ${ARGN})
          execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\")
        endforeach()
      endif()
    ")
  endif()
endfunction()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorv-dla)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the zorv-dla developers")
set(CPACK_PACKAGE_CONTACT ${ZORV_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${ZORV_WEB_HOME})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "grow diffusion-limited-aggregation clusters")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Particles start one at a time on a seeding circle, wander pixel by pixel and
stick to the cluster where they touch it, coloured from a 256-entry palette.
.
zorv-dla grows clusters in a window, with a choice of image size, starting
radius, stickiness, pixel rule, growth direction, colouring, background and
palette, and saves them as Targa images with parameter files. zorv-dla-ss is
a full-screen screen saver, also an XScreenSaver hack. zorv-dla-batch grows
images from the command line.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)          # zorv-dla_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)           # dependencies from the binaries, by dpkg-shlibdeps
set(CPACK_STRIP_FILES ON)
set(CPACK_SET_DESTDIR ON)                        # installed under /usr, staged through DESTDIR
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cpack_generator.cmake)
include(CPack)
