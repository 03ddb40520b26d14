# The sources of the libraries that make up the native side, in one place: the CMake build
# takes its lists from here, and the Flutter package's check (scripts/package-check) holds the
# podspec and the Swift package to TANDREL_MAC_PLUGIN_SOURCES, so the three builds compile the
# same files. Paths are absolute.
#
# `cmake -DTANDREL_PRINT_MAC_PLUGIN_SOURCES=ON -P cmake/sources.cmake` prints the package's
# sources, one path a line, relative to the repository.
get_filename_component(tandrel_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Every source of DIR (relative to the repository) ending in one of the extensions, tests left
# out.
function(tandrel_sources out dir)
  set(patterns "")
  foreach(ext ${ARGN})
    list(APPEND patterns "${tandrel_root}/${dir}/*.${ext}")
  endforeach()
  if(CMAKE_SCRIPT_MODE_FILE)
    file(GLOB found ${patterns})
  else()
    file(GLOB found CONFIGURE_DEPENDS ${patterns})
  endif()
  list(FILTER found EXCLUDE REGEX "_test\\.(cc|mm)$")
  list(SORT found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

tandrel_sources(tandrel_channel_sources channel cc)
set(tandrel_text_sources "${tandrel_root}/text/text.cc")
set(tandrel_text_apple_sources "${tandrel_root}/text/text_cf.mm")
set(tandrel_text_icu_sources "${tandrel_root}/text/text_icu.cc")
tandrel_sources(tandrel_platform_macos_sources platform/macos mm)
tandrel_sources(tandrel_automation_sources runner/automation cc)
tandrel_sources(tandrel_permissions_sources runner/permissions cc)
tandrel_sources(tandrel_keytap_sources runner/keytap cc)
tandrel_sources(tandrel_autostart_sources runner/autostart cc)
# The package's registration on one engine: the input-source plug-in, then the host channels.
set(tandrel_runner_sources "${tandrel_root}/runner/tandrel_plugin.cc")
# The app the simulation stands in for (its Runner's start-up, the generated registrant), as
# tandrel-sim models it; on a Mac the app's own Runner does this.
set(tandrel_sim_app_sources "${tandrel_root}/sim/app/plugin_registrant_model.cc"
                            "${tandrel_root}/sim/app/runner_model.cc")
set(velloc_sources "${tandrel_root}/velloc/velloc_plugin.cc")
# The plug-in class and the engine's messenger, written for the package (macos/tandrel/).
tandrel_sources(tandrel_flutter_glue_sources macos/tandrel/Sources/tandrel mm)

# Everything the Flutter package compiles on the Mac.
set(TANDREL_MAC_PLUGIN_SOURCES
    ${tandrel_channel_sources} ${tandrel_text_sources} ${tandrel_text_apple_sources}
    ${tandrel_platform_macos_sources} ${tandrel_automation_sources}
    ${tandrel_permissions_sources} ${tandrel_keytap_sources} ${tandrel_autostart_sources}
    ${tandrel_runner_sources} ${velloc_sources} ${tandrel_flutter_glue_sources})

if(TANDREL_PRINT_MAC_PLUGIN_SOURCES)
  foreach(source ${TANDREL_MAC_PLUGIN_SOURCES})
    file(RELATIVE_PATH relative "${tandrel_root}" "${source}")
    message(NOTICE "${relative}")
  endforeach()
endif()
