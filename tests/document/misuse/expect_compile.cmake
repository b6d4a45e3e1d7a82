# Compiles SOURCE with the C++ compiler COMPILER, the include folder
# INCLUDE and the macro definitions DEFINES (a list), as C++20 unless one
# of DEFINES is STANDARD=c++NN. Without EXPECT the compile must succeed;
# with it, it must fail with a message that matches the regular expression
# EXPECT.
#
#   cmake -DCOMPILER=... -DINCLUDE=... -DSOURCE=... "-DDEFINES=A=x;B=y" [-DEXPECT=...]
#         -P expect_compile.cmake
set(definitions)
set(standard c++20)
foreach(definition IN LISTS DEFINES)
  if(definition MATCHES "^STANDARD=(.*)")
    set(standard ${CMAKE_MATCH_1})
  else()
    list(APPEND definitions -D${definition})
  endif()
endforeach()
set(ENV{LC_ALL} C)
execute_process(
  COMMAND ${COMPILER} -std=${standard} -fsyntax-only -I${INCLUDE} ${definitions} ${SOURCE}
  RESULT_VARIABLE result ERROR_VARIABLE messages OUTPUT_VARIABLE messages)
if(NOT DEFINED EXPECT)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "does not compile:\n${messages}")
  endif()
elseif(result EQUAL 0)
  message(FATAL_ERROR "compiles, but must not")
elseif(NOT messages MATCHES "${EXPECT}")
  message(FATAL_ERROR "fails, but without the message /${EXPECT}/:\n${messages}")
endif()
