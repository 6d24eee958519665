# Run by CPack on the staged package, before the .deb is made: the Debian
# copyright file and changelog, the man page compressed as Debian's policy
# asks (gzip -9n: no name or time stamp, so the package is reproducible), and
# the program stripped as dh_strip does.
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${usr}/bin")
  message(FATAL_ERROR "No staged install under ${usr}")
endif()

file(STRINGS "${CPACK_DWELLOR_DEBIAN_DIR}/changelog" top LIMIT_COUNT 1)
if(NOT top MATCHES "^${CPACK_PACKAGE_NAME} \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog has no entry for version ${CPACK_PACKAGE_VERSION} at the top")
endif()

function(gzip_into source target)
  execute_process(COMMAND gzip -9n -c "${source}" OUTPUT_FILE "${target}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
endfunction()

set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_DWELLOR_DEBIAN_DIR}/copyright" DESTINATION "${doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gzip_into("${CPACK_DWELLOR_DEBIAN_DIR}/changelog" "${doc}/changelog.gz")

set(man "${usr}/${CPACK_DWELLOR_MAN_PAGE}")
gzip_into("${man}" "${man}.gz")
file(REMOVE "${man}")

file(GLOB programs "${usr}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_DWELLOR_STRIP}" --remove-section=.comment --remove-section=.note
                          "${program}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip ${program} failed")
  endif()
endforeach()
