# What makes the installed programs part of the system: manual pages, bash completion, udev
# rules for the adapters, the window's AppStream metainfo and a PNG icon beside the SVG one.
#
#   VEXILO_EXTRAS         AUTO: the manual pages and the PNG icon when help2man and
#                         rsvg-convert are found; ON: they must be; OFF: neither.
#   VEXILO_UDEV_RULES_DIR where the udev rules go; relative paths are below the prefix
#                         (udev reads /usr/local/lib/udev/rules.d too). Debian: /lib/udev/rules.d.

set(VEXILO_EXTRAS AUTO CACHE STRING "Manual pages and PNG icon: AUTO, ON or OFF")
set_property(CACHE VEXILO_EXTRAS PROPERTY STRINGS AUTO ON OFF)
set(VEXILO_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "Install folder of the udev rules")

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/system)
file(MAKE_DIRECTORY ${generated})

install(FILES ${packaging}/udev/60-vexilo.rules DESTINATION ${VEXILO_UDEV_RULES_DIR})

# A tool the extras need, or the reason why they are left out.
function(vexilo_extras_tool var program package)
  if(VEXILO_EXTRAS STREQUAL "OFF")
    set(${var} "" PARENT_SCOPE)
    return()
  endif()
  find_program(${var}_PATH ${program})
  if(NOT ${var}_PATH AND VEXILO_EXTRAS STREQUAL "ON")
    message(FATAL_ERROR "${program} not found: install the Debian package ${package} "
                        "(or configure with -DVEXILO_EXTRAS=AUTO to build without it)")
  elseif(NOT ${var}_PATH)
    message(STATUS "${program} not found (package ${package}): built without it")
  endif()
  set(${var} "${${var}_PATH}" PARENT_SCOPE)
endfunction()
vexilo_extras_tool(HELP2MAN help2man help2man)
vexilo_extras_tool(RSVG_CONVERT rsvg-convert librsvg2-bin)

# A manual page from the program's --help, run by its name so the usage line shows the name.
function(vexilo_manpage target summary)
  set(page ${generated}/${target}.1)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
            QT_QPA_PLATFORM=offscreen
            ${HELP2MAN} --no-info --version-string=${PROJECT_VERSION}
            --name=${summary} --include=${packaging}/man/${target}.h2m --output=${page} ${target}
    DEPENDS ${target} ${packaging}/man/${target}.h2m
    COMMENT "Manual page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}_manpage ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

if(TARGET vexilo-cli)
  if(HELP2MAN)
    vexilo_manpage(vexilo-cli "program AVR and PIC smart cards from the command line")
  endif()
  set(completion ${generated}/vexilo-cli)
  add_custom_command(
    OUTPUT ${completion}
    COMMAND ${packaging}/bash-completion/generate $<TARGET_FILE:vexilo-cli>
            ${packaging}/bash-completion/vexilo-cli.in ${completion}
    DEPENDS vexilo-cli ${packaging}/bash-completion/generate
            ${packaging}/bash-completion/vexilo-cli.in
    COMMENT "Bash completion for vexilo-cli"
    VERBATIM)
  add_custom_target(vexilo-cli_completion ALL DEPENDS ${completion})
  install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

if(TARGET vexilo)
  if(HELP2MAN)
    vexilo_manpage(vexilo "smart card programmer for AVR and PIC cards")
  endif()
  set(resources ${CMAKE_SOURCE_DIR}/src/gui/resources)
  install(FILES ${resources}/org.vexilo.vexilo.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  if(RSVG_CONVERT)
    set(png ${generated}/vexilo.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${RSVG_CONVERT} --width=128 --height=128 --output=${png} ${resources}/vexilo.svg
      DEPENDS ${resources}/vexilo.svg
      COMMENT "PNG icon"
      VERBATIM)
    add_custom_target(vexilo_png_icon ALL DEPENDS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
  endif()
endif()
