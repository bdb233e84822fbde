# Windows' numeric versions against their texts (cmake -P): each row's
# numbers, in the order deployment tools must put them.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/version.cmake)
set(previous 0.0.0.0)
foreach(row 0.3b1=0.3.0.1 0.3=0.3.0.1000 0.3.1b2=0.3.1.2 0.3.1=0.3.1.1000 1.0b0=1.0.0.0
            # Refused (last): above its release, and beyond 16 bits.
            0.3b1000= 0.65536=)
  string(REPLACE "=" ";" row "${row}")
  list(GET row 0 text)
  list(GET row 1 expected)
  zephrane_version_numbers(${text} numbers)
  if(NOT "${numbers}" STREQUAL "${expected}")
    message(SEND_ERROR "${text} gives \"${numbers}\", not \"${expected}\"")
  elseif(numbers AND NOT previous VERSION_LESS numbers)
    message(SEND_ERROR "${text} (${numbers}) does not sort above ${previous}")
  endif()
  set(previous ${numbers})
endforeach()
