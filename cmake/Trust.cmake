# The product's own trust material is a build input: root certificates 9 and
# 10 and the update key (update-key.pgp, a binary OpenPGP transferable public
# key, RSA-2048). Without UPD_TRUST_DIR a fresh test trust folder is made once
# per build tree; its private keys (and the GnuPG home gnupg/ with the update
# key's secret key) stay there for the tests.
set(UPD_TRUST_DIR "" CACHE PATH
  "Folder with root9.der, root10.der and update-key.pgp of the product's own trust")
set(_upd_trust_files root9.der root10.der update-key.pgp)
if(UPD_TRUST_DIR)
  set(UPD_TRUST_FOLDER ${UPD_TRUST_DIR})
else()
  set(UPD_TRUST_FOLDER ${CMAKE_BINARY_DIR}/trust)
  set(_upd_trust_complete TRUE)
  foreach(_f ${_upd_trust_files})
    if(NOT EXISTS ${UPD_TRUST_FOLDER}/${_f})
      set(_upd_trust_complete FALSE)
    endif()
  endforeach()
  if(NOT _upd_trust_complete)
    message(STATUS "Making a test trust folder in ${UPD_TRUST_FOLDER}")
    execute_process(
      COMMAND bash ${PROJECT_SOURCE_DIR}/tools/testpki/make_trust.sh ${UPD_TRUST_FOLDER}
      RESULT_VARIABLE _upd_trust_rc)
    if(NOT _upd_trust_rc EQUAL 0)
      message(FATAL_ERROR "tools/testpki/make_trust.sh failed (${_upd_trust_rc})")
    endif()
  endif()
endif()
foreach(_f ${_upd_trust_files})
  if(NOT EXISTS ${UPD_TRUST_FOLDER}/${_f})
    message(FATAL_ERROR "UPD_TRUST_DIR lacks ${_f}")
  endif()
endforeach()
