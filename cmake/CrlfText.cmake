# cmake -DIN=FILE -DOUT=FILE -P CrlfText.cmake: the text of a file for a Windows text box. Each
# paragraph (lines up to a blank line) becomes one line, so that the box wraps it to its own
# width; lines end in CRLF; nothing is added at the end.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REGEX REPLACE "([^\n])\n([^\n])" "\\1 \\2" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
