# Fails unless the library exports exactly the 30 functions of its header.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]+ [A-Za-z] (.+)$")
    set(sym "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "@.*$" "" sym "${sym}")
    list(APPEND found "${sym}")
  endif()
endforeach()
list(REMOVE_DUPLICATES found)
list(SORT found)
set(expected InitDll StartDll StopDll ShutdownDll AssignLine FreeLine FreeAllLine CallAbonent
    ListenLine GetProgrammState GetLineState GetLineStateEx LoadSoundFile LoadConfirmFile SetSensLevel
    SetListenLevel SetConfirmOn SetTimeParam GetTimeParam SetDtmfLevel GetDtmfLevel
    AdvancedDtmfConfirmOn setLineType getLineType setLineDropMode getLineDropMode
    setNotifyResultCallback logEnable dumpEnable setDumpMask)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exports differ:\n found:    ${found}\n expected: ${expected}")
endif()
list(LENGTH found n)
message(STATUS "${n} exports, as expected")
