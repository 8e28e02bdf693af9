# The programs' own command lines, run as processes: --version of each, telnormer's --help without
# a display, and telnormer-host's refusals (a password is never taken from the command line nor
# echoed; usage errors exit with 2; after "--" a file may be named like an option).
# -DBIN_DIR=<build>/ -DVERSION=x.y.z; the programs are found by their paths in the build tree.
function(run expected_status expected_text)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status STREQUAL expected_status OR NOT "${out}${err}" MATCHES "${expected_text}")
        message(FATAL_ERROR "${ARGN}: status ${status}, expected ${expected_status} and "
                            "'${expected_text}'; said:\n${out}${err}")
    endif()
    if("${out}${err}" MATCHES "geheim")
        message(FATAL_ERROR "${ARGN}: the refused argument is echoed:\n${err}")
    endif()
endfunction()

foreach(program src/startup/telnormer tools/batch/telnormer-batch tools/vdbtool/vdbtool
        tools/host/telnormer-host)
    get_filename_component(name ${program} NAME)
    run(0 "^${name} \\(Telnormer\\) ${VERSION}\nCopyright" ${BIN_DIR}/${program} --version)
endforeach()
set(host ${BIN_DIR}/tools/host/telnormer-host)
run(0 "^Usage: telnormer " ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
    --unset=QT_QPA_PLATFORM ${BIN_DIR}/src/startup/telnormer --help)
run(2 "passwords are not taken from the command line" ${host} x.vdb --user A --password geheim)
run(2 "unknown option \\(the argument is not shown" ${host} x.vdb --user A --geheim)
run(2 "too many arguments: 1 more than expected" ${host} x.vdb --user A geheim)
run(2 "no user given" ${host} x.vdb)
run(2 "Missing value after '--user'" ${host} x.vdb --user)
run(1 "-x\\.vdb" ${CMAKE_COMMAND} -E env VDB_PASSWORD=x ${host} --user A -- -x.vdb)
