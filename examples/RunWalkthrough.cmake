# cmake -DDIR=folder -DSCRIPT=walkthrough.sh -DDATA=xor.dat -DPATHS=a:b:c -P RunWalkthrough.cmake
# Runs the training walk-through in a fresh folder with the tools on the
# PATH, and checks that it made every file it promises and measured the
# trained network.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
file(COPY ${DATA} DESTINATION ${DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PATH=${PATHS}:$ENV{PATH}" sh ${SCRIPT}
  WORKING_DIRECTORY ${DIR} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the walk-through failed (${status}):\n${out}\n${err}")
endif()
foreach(made xor-untrained.wgt xor-trained.wgt xor-history.csv xor-history.svg)
  if(NOT EXISTS ${DIR}/${made})
    message(FATAL_ERROR "the walk-through made no ${made}")
  endif()
endforeach()
if(NOT out MATCHES "rows 4\nrmse [0-9]")
  message(FATAL_ERROR "NetforgeEval printed no figures:\n${out}")
endif()
message(STATUS "${out}${err}")
