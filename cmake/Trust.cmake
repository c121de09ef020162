# The product's own trust material (root certificates 9 and 10) is a build
# input. Without UPD_TRUST_DIR a fresh test trust folder is made once per
# build tree; its private keys stay there for the tests.
set(UPD_TRUST_DIR "" CACHE PATH "Folder with root9.der and root10.der of the product's own CA")
if(UPD_TRUST_DIR)
  set(UPD_TRUST_FOLDER ${UPD_TRUST_DIR})
else()
  set(UPD_TRUST_FOLDER ${CMAKE_BINARY_DIR}/trust)
  if(NOT EXISTS ${UPD_TRUST_FOLDER}/root9.der OR NOT EXISTS ${UPD_TRUST_FOLDER}/root10.der)
    message(STATUS "Making a test trust folder in ${UPD_TRUST_FOLDER}")
    execute_process(
      COMMAND bash ${PROJECT_SOURCE_DIR}/tools/testpki/make_trust.sh ${UPD_TRUST_FOLDER}
      RESULT_VARIABLE _upd_trust_rc)
    if(NOT _upd_trust_rc EQUAL 0)
      message(FATAL_ERROR "tools/testpki/make_trust.sh failed (${_upd_trust_rc})")
    endif()
  endif()
endif()
foreach(_f root9.der root10.der)
  if(NOT EXISTS ${UPD_TRUST_FOLDER}/${_f})
    message(FATAL_ERROR "UPD_TRUST_DIR lacks ${_f}")
  endif()
endforeach()
