# Runs one example case as a user would and compares every output byte for
# byte with the committed expected files.
#   -DR3SIM=<r3sim>  -DCASE=<case file, relative to the source tree>
#   -DEXPECTED=<folder of expected files>  -DACTUAL=<scratch folder>
# With R3_GOLDEN_UPDATE=1 in the environment the outputs become the new
# expected files instead.
# Run from the source tree, so the paths printed in the outputs are relative.
file(REMOVE_RECURSE "${ACTUAL}")
file(MAKE_DIRECTORY "${ACTUAL}")

execute_process(
  COMMAND "${R3SIM}" run "${CASE}" --report "${ACTUAL}/report.txt" --json "${ACTUAL}/results.json"
          --history "${ACTUAL}/history.txt"
  OUTPUT_FILE "${ACTUAL}/run.stdout" ERROR_FILE "${ACTUAL}/run.stderr" RESULT_VARIABLE run_rc)
execute_process(
  COMMAND "${R3SIM}" check "${CASE}"
  OUTPUT_FILE "${ACTUAL}/check.stdout" ERROR_FILE "${ACTUAL}/check.stderr" RESULT_VARIABLE check_rc)
file(WRITE "${ACTUAL}/exit-codes.txt" "run ${run_rc}\ncheck ${check_rc}\n")

# An output that is empty is kept as no file at all.
set(outputs exit-codes.txt report.txt results.json history.txt run.stdout run.stderr check.stdout
            check.stderr)
foreach(f ${outputs})
  if(EXISTS "${ACTUAL}/${f}")
    file(SIZE "${ACTUAL}/${f}" size)
    if(size EQUAL 0)
      file(REMOVE "${ACTUAL}/${f}")
    endif()
  endif()
endforeach()

# A case that converges gives its estimates (`guess = {...}`) to save
# iterations, never because the solver needs them: without them it must
# still converge, in at most 8 iterations.
file(READ "${CASE}" text)
if(text MATCHES "\nguess = " AND text MATCHES "\nmax_iterations")
  string(REGEX REPLACE "\nguess = [^\n]*" "" bare "${text}")
  file(WRITE "${ACTUAL}/without-guesses.toml" "${bare}")
  execute_process(COMMAND "${R3SIM}" run "${ACTUAL}/without-guesses.toml" --quiet --report "${ACTUAL}/bare.txt"
                  OUTPUT_QUIET ERROR_QUIET)
  file(STRINGS "${ACTUAL}/bare.txt" lines REGEX "^   (STATUS|ITERATIONS) ")
  if(NOT lines MATCHES "STATUS +converged;" OR NOT lines MATCHES "ITERATIONS +[0-8]$")
    message(FATAL_ERROR "${CASE} without its guesses: ${lines} (at most 8 iterations wanted)")
  endif()
  file(REMOVE "${ACTUAL}/without-guesses.toml" "${ACTUAL}/bare.txt")
endif()

if("$ENV{R3_GOLDEN_UPDATE}" STREQUAL "1")
  file(REMOVE_RECURSE "${EXPECTED}")
  file(COPY "${ACTUAL}/" DESTINATION "${EXPECTED}")
  return()
endif()

set(differ "")
foreach(f ${outputs})
  if(EXISTS "${EXPECTED}/${f}" OR EXISTS "${ACTUAL}/${f}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${EXPECTED}/${f}" "${ACTUAL}/${f}"
                    RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
      list(APPEND differ ${f})
    endif()
  endif()
endforeach()
if(differ)
  message(FATAL_ERROR "${CASE}: outputs differ from the expected files: ${differ}\n"
                      "expected: ${EXPECTED}\nactual:   ${ACTUAL}\n"
                      "(scripts/update-golden.sh rewrites the expected files after an intended change)")
endif()
