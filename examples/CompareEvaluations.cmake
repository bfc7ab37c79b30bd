# cmake -DEVAL=NetforgeEval -DTOUR=tour_evaluate -DDIR=folder -P CompareEvaluations.cmake
# Runs NetforgeEval and the tour's evaluation on the same files and fails
# unless both print the same root-mean-square and cross-entropy figures.
execute_process(COMMAND ${EVAL} tour.wgt tour.dat WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE eval_out RESULT_VARIABLE eval_status)
execute_process(COMMAND ${TOUR} tour.wgt tour-copy.dat WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE tour_out RESULT_VARIABLE tour_status)
if(NOT eval_status EQUAL 0 OR NOT tour_status EQUAL 0)
  message(FATAL_ERROR "a program failed: NetforgeEval ${eval_status}, tour_evaluate ${tour_status}")
endif()
foreach(figure rmse cross-entropy)
  string(REGEX MATCH "${figure} [^\n]*" from_eval "${eval_out}")
  string(REGEX MATCH "${figure} [^\n]*" from_tour "${tour_out}")
  if(from_eval STREQUAL "" OR NOT from_eval STREQUAL from_tour)
    message(FATAL_ERROR "NetforgeEval printed '${from_eval}', the library '${from_tour}'")
  endif()
endforeach()
message(STATUS "${eval_out}")
