# Run by cpack on the .deb it made: the members of its ar container
# (debian-binary, control.tar.gz, data.tar.gz) carry the modes of the files
# that cpack wrote under the builder's umask. Each gets 0644, as dpkg-deb
# writes them: the 8-character mode field of each 60-byte member header is
# overwritten in place.
set(mode_field ${CPACK_TOPLEVEL_DIRECTORY}/sarvik_member_mode)
file(WRITE ${mode_field} "100644  ")
foreach(package ${CPACK_PACKAGE_FILES})
  file(SIZE ${package} size)
  set(at 8)  # past "!<arch>\n"
  while(at LESS size)
    file(READ ${package} header OFFSET ${at} LIMIT 60)
    if(NOT header MATCHES "^.+`\n$")
      message(FATAL_ERROR "${package}: no ar member header at byte ${at}")
    endif()
    string(SUBSTRING "${header}" 48 10 length)
    string(STRIP "${length}" length)
    math(EXPR mode_at "${at} + 40")
    execute_process(COMMAND dd of=${package} bs=1 seek=${mode_at} conv=notrunc status=none
                    INPUT_FILE ${mode_field} RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "${package}: dd could not set a member's mode: ${failed}")
    endif()
    # Members start at even offsets.
    math(EXPR at "${at} + 60 + ${length} + ${length} % 2")
  endwhile()
endforeach()
