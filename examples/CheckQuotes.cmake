# cmake -DDOC=file.md -DPROGRAMS=a.cpp;b.cpp -P CheckQuotes.cmake
# Fails unless DOC holds the whole text of every program, byte for byte.
file(READ ${DOC} doc)
foreach(program IN LISTS PROGRAMS)
  file(READ ${program} text)
  string(FIND "${doc}" "${text}" at)
  if(at EQUAL -1)
    get_filename_component(name ${program} NAME)
    message(FATAL_ERROR "${DOC} does not quote ${name} as it stands; copy the program into it again")
  endif()
endforeach()
