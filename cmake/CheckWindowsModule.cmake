# Checks a built Windows DLL or program with objdump: it exports exactly the
# entry points named in EXPORTS (plain names, no decoration; without EXPORTS,
# exports are not checked) and imports from system DLLs only, so it loads
# without the compiler's runtime DLLs or zlib1.dll beside it.
# Run as: cmake -DOBJDUMP=... -DMODULE=... -DEXPORTS=a;b;c -P CheckWindowsModule.cmake
cmake_minimum_required(VERSION 3.25)
set(VX_SYSTEM_DLLS kernel32.dll user32.dll advapi32.dll msvcrt.dll ucrtbase.dll ntdll.dll ole32.dll
                    oleaut32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${MODULE}")
endif()

if(DEFINED EXPORTS)
  # The name table of the export directory: lines "[   n] Name" after the
  # "[Ordinal/Name Pointer] Table" header.
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${MODULE} has no export name table")
  endif()
  string(SUBSTRING "${dump}" ${start} -1 names)
  string(FIND "${names}" "\n\n" end)
  if(NOT end EQUAL -1)
    string(SUBSTRING "${names}" 0 ${end} names)
  endif()
  string(REGEX MATCHALL "\n[ \t]+\\[ *[0-9]+\\] [^\n]+" entries "${names}")
  set(exported "")
  foreach(entry ${entries})
    string(REGEX REPLACE "^\n[ \t]+\\[ *[0-9]+\\] " "" name "${entry}")
    string(STRIP "${name}" name)
    list(APPEND exported ${name})
  endforeach()
  list(SORT exported)
  set(expected ${EXPORTS})
  list(SORT expected)
  if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "exports are [${exported}], expected exactly [${expected}]")
  endif()
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import ${imports})
  string(REGEX REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST VX_SYSTEM_DLLS AND NOT dll MATCHES "^api-ms-win-")
    message(FATAL_ERROR "${MODULE} imports ${dll}, which is not a system DLL")
  endif()
endforeach()
