# Renders a manual page as the plain text that the Windows zip carries:
# UTF-8, no overstrike and no escape sequence (Notepad would show both as
# they are), CR LF line ends.
#   cmake -DGROFF=groff -DPAGE=sarvik.1 -DTEXT=sarvik.txt -P page_text.cmake
# -K utf8: the pages are UTF-8, whatever their coding line says and
# whatever the builder's locale. -t: a page may hold a table, which its
# first line asks man for and groff alone does not read. A UTF-8 locale of
# its own, whatever the builder's: groff counts a Japanese character as two
# columns only in a UTF-8 one, and breaks the lines otherwise.
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND ${GROFF} -K utf8 -t -man -Tutf8 -P-c -P-b -P-u -P-o ${PAGE}
                OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "groff could not render ${PAGE}: ${failed}")
endif()
string(ASCII 8 backspace)
string(ASCII 27 escape)
if(text MATCHES "[${backspace}${escape}]")
  message(FATAL_ERROR "groff left a backspace or an escape sequence in ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
