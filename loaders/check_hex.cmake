# cmake -DHEX=file -P check_hex.cmake: fails unless every record of the Intel HEX file is a
# data record (type 00) or the end record (01).
file(STRINGS ${HEX} lines NO_HEX_CONVERSION)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  string(LENGTH "${line}" length)
  if(length LESS 9)
    continue()
  endif()
  string(SUBSTRING "${line}" 7 2 type)
  if(NOT type STREQUAL "00" AND NOT type STREQUAL "01")
    file(REMOVE ${HEX})
    message(FATAL_ERROR "${HEX}: record type ${type} (${line}): a card loader file may hold "
                        "data records and the end record only")
  endif()
endforeach()
