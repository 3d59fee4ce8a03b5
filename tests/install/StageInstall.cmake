# Installs the build under STAGE/usr, as a package would, and checks that what
# the desktop entry names is there: its program and its icon in every size;
# and the command line with its manual pages and completion.
# cmake -DBUILD_DIR=... -DSTAGE=... -DAPP_ID=... -DICON_SIZES=16;32 -P StageInstall.cmake
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}/usr
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(usr ${STAGE}/usr)
set(entry ${usr}/share/applications/${APP_ID}.desktop)
foreach(required ${entry} ${usr}/share/metainfo/${APP_ID}.metainfo.xml ${usr}/bin/kelvane ${usr}/bin/kelvane-cli
    ${usr}/share/man/man1/kelvane.1 ${usr}/share/man/man1/kelvane-cli.1
    ${usr}/share/bash-completion/completions/kelvane-cli)
  if(NOT EXISTS ${required})
    message(FATAL_ERROR "not installed: ${required}")
  endif()
endforeach()

file(STRINGS ${entry} exec REGEX "^Exec=")
file(STRINGS ${entry} icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
string(REGEX REPLACE "^Icon=" "" icon "${icon}")
if(NOT EXISTS ${usr}/bin/${exec} OR IS_DIRECTORY ${usr}/bin/${exec})
  message(FATAL_ERROR "the desktop entry starts '${exec}', which is not in ${usr}/bin")
endif()
foreach(size ${ICON_SIZES})
  set(png ${usr}/share/icons/hicolor/${size}x${size}/apps/${icon}.png)
  if(NOT EXISTS ${png})
    message(FATAL_ERROR "the desktop entry's icon '${icon}' is missing: ${png}")
  endif()
endforeach()
