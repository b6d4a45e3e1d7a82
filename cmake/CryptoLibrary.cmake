# OpenSSL's libcrypto, which computes the MD5 of the integrity digest on
# POSIX. The programs do not link it: src/qdsfile/md5_digest.cpp opens it at
# the first digest, under the name that the dynamic loader knows it by (its
# SONAME), and uses OpenSSL's headers for the types of its functions. Sets
#   KNITFOLD_CRYPTO_LIBRARY       that name, e.g. libcrypto.so.3 (a cache
#                                 entry of that name overrides it)
#   KNITFOLD_CRYPTO_LIBRARY_FILE  the library of that name beside the one found
#   OPENSSL_INCLUDE_DIR           OpenSSL's headers (find_package(OpenSSL))

find_package(OpenSSL REQUIRED COMPONENTS Crypto)
set(KNITFOLD_CRYPTO_LIBRARY "" CACHE STRING
  "File name under which libcrypto is opened at run time (empty: the SONAME of the libcrypto found)")
if(NOT KNITFOLD_CRYPTO_LIBRARY)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${OPENSSL_CRYPTO_LIBRARY}
    OUTPUT_VARIABLE headers ERROR_QUIET)
  if(NOT headers MATCHES "SONAME[ \t]+([^ \t\r\n]+)")
    message(FATAL_ERROR "cannot read the SONAME of ${OPENSSL_CRYPTO_LIBRARY} with "
      "'${CMAKE_OBJDUMP} -p': set KNITFOLD_CRYPTO_LIBRARY to the name to open, e.g. libcrypto.so.3")
  endif()
  set(KNITFOLD_CRYPTO_LIBRARY ${CMAKE_MATCH_1})
endif()
get_filename_component(crypto_directory ${OPENSSL_CRYPTO_LIBRARY} DIRECTORY)
set(KNITFOLD_CRYPTO_LIBRARY_FILE ${crypto_directory}/${KNITFOLD_CRYPTO_LIBRARY})
