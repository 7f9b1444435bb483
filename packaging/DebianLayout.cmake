# Run by CPack on the staged package, before it is packed. The program folder stays in /opt/fwb,
# where the Agent finds its files beside its executable; the menu entry, icons, type and manual
# page move to /usr/share, where desktops and man look and where dpkg's triggers see them; the
# Agent gets a link on the PATH, and the package its documentation.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(program "${CPACK_PACKAGING_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${root}/usr/bin")
file(RENAME "${root}${program}/share" "${root}/usr/share")
# Between top-level folders a link is absolute, as Debian wants.
file(CREATE_LINK "${program}/fwbagent" "${root}/usr/bin/fwbagent" SYMBOLIC)

set(doc "${root}/usr/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}" "${root}/usr/share/lintian/overrides")
file(COPY_FILE "${CPACK_FWB_PACKAGING_DIR}/copyright" "${doc}/copyright")
execute_process(COMMAND gzip -9n --stdout "${CPACK_FWB_PACKAGING_DIR}/changelog"
                OUTPUT_FILE "${doc}/changelog.gz" COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE "${CPACK_FWB_PACKAGING_DIR}/lintian-overrides"
     "${root}/usr/share/lintian/overrides/${CPACK_PACKAGE_NAME}")
