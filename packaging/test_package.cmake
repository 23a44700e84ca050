# cmake -DBUILD_DIR=... -DVERSION=... -DVALIDATE=... [-DSYSTEMD_ANALYZE=...] -P test_package.cmake
# Builds the .deb with CPack, unpacks it with dpkg -x and checks what is inside.

# Stops with the message when the condition (the text of an if() condition) is false.
macro(check condition message)
  cmake_language(EVAL CODE "if(NOT (${condition}))\n message(FATAL_ERROR [==[${message}]==])\nendif()")
endmacro()

set(work ${BUILD_DIR}/package-test)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/root)

execute_process(COMMAND cpack -G DEB -B ${work}/out WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
check("result EQUAL 0" "cpack failed:\n${output}")
file(GLOB packages ${work}/out/kestrova-control_${VERSION}_*.deb)
list(LENGTH packages count)
check("count EQUAL 1" "expected one kestrova-control_${VERSION}_*.deb, found: ${packages}\n${output}")

execute_process(COMMAND dpkg-deb --field ${packages} Package Version Depends Recommends
                RESULT_VARIABLE result OUTPUT_VARIABLE fields)
check("result EQUAL 0" "dpkg-deb cannot read ${packages}")
message(STATUS "Package fields:\n${fields}")
string(FIND "${fields}" "libqt6widgets6" at)
check("at GREATER -1" "the package does not depend on the Qt libraries:\n${fields}")
string(FIND "${fields}" "libqt6sql6-sqlite" at)
check("at GREATER -1" "the package does not depend on Qt's SQLite driver:\n${fields}")
string(FIND "${fields}" "Recommends: libqt6sql6-psql" at)
check("at GREATER -1" "the package does not recommend Qt's PostgreSQL driver:\n${fields}")

execute_process(COMMAND dpkg -x ${packages} ${work}/root RESULT_VARIABLE result)
check("result EQUAL 0" "dpkg -x failed")
foreach(file usr/bin/kestrova-control usr/bin/kestrova-cli usr/bin/kestrova-sim
             usr/share/applications/kestrova-control.desktop
             usr/share/icons/hicolor/scalable/apps/kestrova-control.svg
             usr/share/icons/hicolor/64x64/apps/kestrova-control.png
             usr/share/man/man1/kestrova-cli.1.gz usr/share/man/man1/kestrova-sim.1.gz
             usr/lib/systemd/user/kestrova-collect.service usr/lib/systemd/user/kestrova-collect.timer)
  check("EXISTS ${work}/root/${file}" "missing from the package: ${file}")
endforeach()

foreach(program kestrova-cli kestrova-sim kestrova-control)
  execute_process(COMMAND ${work}/root/usr/bin/${program} --version
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  string(STRIP "${output}" output)
  check("result EQUAL 0" "${program} --version failed (${result}): ${errors}")
  check("output MATCHES \" ${VERSION}$\"" "${program} --version printed '${output}'")
endforeach()

if(VALIDATE)
  execute_process(COMMAND ${VALIDATE} ${work}/root/usr/share/applications/kestrova-control.desktop
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  check("result EQUAL 0 AND output STREQUAL \"\"" "desktop-file-validate: ${output}")
else()
  message(FATAL_ERROR "desktop-file-validate is missing (package desktop-file-utils)")
endif()

# The nightly collection: the service runs the packaged client on the user's own site list,
# then writes the pages when publish.conf names a folder.
set(units ${work}/root/usr/lib/systemd/user)
file(READ ${units}/kestrova-collect.service service)
file(READ ${units}/kestrova-collect.timer timer)
foreach(line "Type=oneshot"
             "ExecStart=/usr/bin/kestrova-cli collect --sites %h/.config/Kestrova/sites.ini --archive %h/.local/share/Kestrova/archive"
             "ExecStopPost=/usr/bin/kestrova-cli report --archive %h/.local/share/Kestrova/archive --publish-conf %h/.config/Kestrova/publish.conf")
  string(FIND "${service}" "\n${line}\n" at)
  check("at GREATER -1" "kestrova-collect.service lacks the line ${line}:\n${service}")
endforeach()
foreach(line "OnCalendar=*-*-* 02:00:00" "Persistent=true" "WantedBy=timers.target")
  string(FIND "${timer}" "\n${line}\n" at)
  check("at GREATER -1" "kestrova-collect.timer lacks the line ${line}:\n${timer}")
endforeach()
if(SYSTEMD_ANALYZE)
  # verify wants the command to exist: a copy points the service at the unpacked client.
  set(verify ${work}/verify)
  file(MAKE_DIRECTORY ${verify}/runtime)
  file(CHMOD ${verify}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  string(REPLACE "=/usr/bin/kestrova-cli " "=${work}/root/usr/bin/kestrova-cli " service "${service}")
  file(WRITE ${verify}/kestrova-collect.service "${service}")
  file(WRITE ${verify}/kestrova-collect.timer "${timer}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${verify}/runtime
                          ${SYSTEMD_ANALYZE} verify --user ${verify}/kestrova-collect.timer
                          ${verify}/kestrova-collect.service
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  check("result EQUAL 0" "systemd-analyze verify: ${output}")
endif()
file(REMOVE_RECURSE ${work})
