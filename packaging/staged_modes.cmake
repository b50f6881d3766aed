# Run by cpack once the files are staged, before it packs them: the staged
# folders take the default folder mode, which the install gave them masked
# by the builder's umask. The files' modes are install()'s own already.
file(GLOB_RECURSE staged LIST_DIRECTORIES true ${CPACK_TEMPORARY_DIRECTORY}/*)
file(CHMOD ${CPACK_TEMPORARY_DIRECTORY} ${staged}
     DIRECTORY_PERMISSIONS ${CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
