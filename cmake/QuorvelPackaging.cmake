# The Debian packages: `quorvel` (the app's bundle with the screensaver module, its launcher and
# screensaver entries) and `quorvel-service` (the reference service as a systemd user unit). Each
# subsystem's CMakeLists.txt installs its own files into one of the two components below; the
# folders here are relative to the package's prefix.
set(QUORVEL_PACKAGE_PREFIX /usr)
# The app runs from here; platform::applicationsFolders() names the same folder, so a copy
# started from the package counts as installed.
set(QUORVEL_PACKAGE_APP_DIR lib/quorvel)
set(QUORVEL_PACKAGE_BUNDLE ${QUORVEL_PACKAGE_APP_DIR}/Quorvel.app/Contents)
set(QUORVEL_PACKAGE_EXTENSION ${QUORVEL_PACKAGE_BUNDLE}/PlugIns/QuorvelExtension.appex)
# The daemons' program (host/desktop/quorvel.in), by its path from the prefix.
set(QUORVEL_PACKAGE_DAEMON_PROGRAM libexec/xscreensaver/quorvel)
# The service's fixed loopback port (its systemd unit, and `scripts/package --local`).
set(QUORVEL_PACKAGE_SERVICE_PORT 47380)
set(QUORVEL_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package)

# quorvel_package_link(COMPONENT NAME TARGET DESTINATION): installs the symbolic link NAME (relative,
# so the package can be unpacked anywhere) pointing at TARGET.
function(quorvel_package_link component name target destination)
  file(MAKE_DIRECTORY ${QUORVEL_PACKAGE_FILES}/links/${component})
  file(CREATE_LINK ${target} ${QUORVEL_PACKAGE_FILES}/links/${component}/${name} SYMBOLIC)
  install(FILES ${QUORVEL_PACKAGE_FILES}/links/${component}/${name} DESTINATION ${destination} COMPONENT ${component})
endfunction()

# quorvel_package_gzip(COMPONENT SOURCE DESTINATION): installs SOURCE compressed the way Debian
# wants its documentation and manual pages (gzip -9n: no name, no time stamp).
function(quorvel_package_gzip component source destination)
  get_filename_component(name ${source} NAME)
  set(output ${QUORVEL_PACKAGE_FILES}/gz/${component}/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_PACKAGE_FILES}/gz/${component}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  string(MAKE_C_IDENTIFIER "${component}_${name}" id)
  add_custom_target(quorvel_package_${id} ALL DEPENDS ${output})
  install(FILES ${output} DESTINATION ${destination} COMPONENT ${component})
endfunction()

# Called once at the end of the top-level CMakeLists.txt, after every install rule.
macro(quorvel_enable_packaging)
  foreach(component quorvel service)
    set(package quorvel)
    if(component STREQUAL service)
      set(package quorvel-service)
    endif()
    set(doc ${CMAKE_SOURCE_DIR}/cmake/package)
    install(FILES ${doc}/copyright DESTINATION share/doc/${package} COMPONENT ${component})
    # A native package (no Debian revision): its changelog is plain "changelog".
    configure_file(${doc}/changelog.in ${QUORVEL_PACKAGE_FILES}/doc/${package}/changelog @ONLY)
    quorvel_package_gzip(${component} ${QUORVEL_PACKAGE_FILES}/doc/${package}/changelog share/doc/${package})
  endforeach()

  set(CPACK_GENERATOR DEB)
  set(CPACK_VERBATIM_VARIABLES ON)
  set(CPACK_PACKAGE_NAME quorvel)
  set(CPACK_PACKAGE_VENDOR Quorvel)
  set(CPACK_PACKAGE_CONTACT "Quorvel <support@quorvel.com>")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX ${QUORVEL_PACKAGE_PREFIX})
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL quorvel service)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvel.com)

  set(CPACK_DEBIAN_QUORVEL_PACKAGE_NAME quorvel)
  set(CPACK_DEBIAN_QUORVEL_PACKAGE_SECTION video)
  # What no shared library names: the media pipeline's plug-ins (container, decoder), a Secret
  # Service for the service token, and killall, which restarts the wallpaper agent.
  set(CPACK_DEBIAN_QUORVEL_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-libav, gnome-keyring | kwalletmanager, psmisc")
  set(CPACK_DEBIAN_QUORVEL_PACKAGE_RECOMMENDS "xdg-utils")
  set(CPACK_DEBIAN_QUORVEL_PACKAGE_SUGGESTS "quorvel-service, xscreensaver | mate-screensaver")
  set(CPACK_DEBIAN_QUORVEL_DESCRIPTION "screensaver that plays short AI-made clips
Quorvel turns the screensaver into a player for short AI-made clips
(wumbles) that a community publishes, and lets everyone make new ones
from a written recipe.

The package installs the app, its screensaver module with the host that
plays it (also for xscreensaver and mate-screensaver) and the plug-in
registry tool.")

  set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME quorvel-service)
  set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION web)
  # The service draws its clips and images with ffmpeg, in this font.
  set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "ffmpeg, fonts-dejavu-core, libqt6sql6-sqlite")
  set(CPACK_DEBIAN_SERVICE_DESCRIPTION "local reference web service for Quorvel
quorvel-service answers everything the Quorvel app and its screensaver
module ask for (enrollment, credits, generation jobs, the community feed,
clips, updates) on one machine over loopback, so Quorvel runs end to end
without a network. It runs as a systemd user unit on 127.0.0.1:${QUORVEL_PACKAGE_SERVICE_PORT}.")

  include(CPack)
endmacro()
