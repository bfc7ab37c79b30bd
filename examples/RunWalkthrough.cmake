# cmake -DDIR=folder -DSCRIPT=walkthrough.sh -DDATA=circle.csv -DPATHS=a:b:c -P RunWalkthrough.cmake
# Runs the training walk-through in a fresh folder with the tools on the
# PATH, and checks that it made every file it promises and measured the
# trained network on the test rows.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
file(COPY ${DATA} DESTINATION ${DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PATH=${PATHS}:$ENV{PATH}" sh ${SCRIPT}
  WORKING_DIRECTORY ${DIR} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the walk-through failed (${status}):\n${out}\n${err}")
endif()
foreach(made circle.dat train.dat valid.dat test.dat circle-untrained.wgt circle-trained.wgt
             circle-history.csv circle-history.svg)
  if(NOT EXISTS ${DIR}/${made})
    message(FATAL_ERROR "the walk-through made no ${made}")
  endif()
endforeach()
# The trained network stays below 0.15 on the test rows (the untrained
# one is near 0.5).
if(NOT out MATCHES "rows 80\nrmse 0\\.(0[0-9]|1[0-4])")
  message(FATAL_ERROR "NetforgeEval printed no figures, or an error of 0.15 or above:\n${out}")
endif()
if(NOT err MATCHES "pruned [1-9][0-9]* connections")
  message(FATAL_ERROR "nothing was pruned:\n${err}")
endif()
message(STATUS "${out}${err}")
