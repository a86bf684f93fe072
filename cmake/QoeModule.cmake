# Build conventions shared by every folder.
#
# qoe_module(<target> [DEPS <targets...>])
#   *.cpp in the folder            -> static library <target> (interface if none)
#   tests/*.cpp                    -> <target>_tests, GoogleTest, one fresh temp
#                                     working directory per test (qoe_testmain)
#   bench/*.cpp                    -> <target>_bench (Google Benchmark)
#   fuzz/*.cpp                     -> fuzz_<stem>, one libFuzzer target per file,
#                                     corpus in fuzz/corpus/<stem>/ (QOE_FUZZ only)

if(QOE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QOE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT QOE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QOE_SANITIZE must be empty, address or thread")
endif()
if(NOT QOE_SANITIZE STREQUAL "")
  # A local read before it is written holds the same pattern bytes in every
  # run, so such a read fails the same way each time instead of by chance.
  add_compile_options(-ftrivial-auto-var-init=pattern)
endif()
if(QOE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# QOE_WERROR: a warning fails the build (CI's builds; the start command's
# build leaves it off so a newer compiler's new warning does not stop a player).
option(QOE_WERROR "Treat compiler warnings as errors" OFF)
if(QOE_WERROR)
  add_compile_options(-Werror)
endif()

set(QOE_FUZZ_TARGETS "" CACHE INTERNAL "")

# qoe_label_game_thread_tests(<test target> <sources...>)
#   Gives the CTest label "gamethread" to every test of the suites defined in
#   a source that starts the game thread: a headless run of a game function or
#   a screen (directly or through a fixture of the folder), or a run of the
#   built program. The TSan run of scripts/test.sh selects them with -L.
#   The names are known only once the tests are discovered, so the labels are
#   set by a CTest include file read after the discovered list.
set(QOE_GAME_THREAD_STARTERS
    "HeadlessRunGame|RunScreen\\(|HeadlessScreen|ScreenTest|box_fixture\\.h|savegame_support\\.h|diplomacy_fixture\\.h|QOE_START_SCREEN|RunHeadless\\(|Headless2D\\(")
function(qoe_label_game_thread_tests target)
  set(suites "")
  foreach(src ${ARGN})
    file(READ ${src} text)
    if(text MATCHES "${QOE_GAME_THREAD_STARTERS}")
      string(REGEX MATCHALL "TEST(_F|_P)?\\([ \t\n]*[A-Za-z0-9_]+" hits "${text}")
      foreach(h ${hits})
        string(REGEX REPLACE "^TEST(_F|_P)?\\([ \t\n]*" "" suite "${h}")
        list(APPEND suites ${suite})
      endforeach()
    endif()
  endforeach()
  if(NOT suites)
    return()
  endif()
  list(REMOVE_DUPLICATES suites)
  list(JOIN suites "|" alternatives)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
  file(WRITE ${file}
       "foreach(t IN LISTS ${target}_TESTS)\n"
       "  if(t MATCHES \"^([A-Za-z0-9_]+/)?(${alternatives})\\\\.\")\n"
       "    set_tests_properties(\"\${t}\" PROPERTIES LABELS gamethread)\n"
       "  endif()\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

function(qoe_module target)
  cmake_parse_arguments(M "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${M_DEPS} Threads::Threads)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${M_DEPS})
  endif()

  if(NOT QOE_FUZZ)
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(tests)
      add_executable(${target}_tests ${tests})
      target_link_libraries(${target}_tests PRIVATE ${target} qoe_testmain GTest::gtest GTest::gmock)
      gtest_discover_tests(${target}_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
      qoe_label_game_thread_tests(${target}_tests ${tests})
    endif()
    file(GLOB benches CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/bench/*.cpp)
    if(benches AND TARGET benchmark::benchmark)
      add_executable(${target}_bench ${benches})
      target_link_libraries(${target}_bench PRIVATE ${target} benchmark::benchmark benchmark::benchmark_main)
    endif()
  else()
    file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp)
    foreach(f ${fuzzers})
      get_filename_component(stem ${f} NAME_WE)
      add_executable(fuzz_${stem} ${f})
      target_link_libraries(fuzz_${stem} PRIVATE ${target})
      target_link_options(fuzz_${stem} PRIVATE -fsanitize=fuzzer)
      set(QOE_FUZZ_TARGETS "${QOE_FUZZ_TARGETS};fuzz_${stem}=${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${stem}" CACHE INTERNAL "")
    endforeach()
  endif()
endfunction()

# qoe_kit_outputs(<target> <files...>)
#   Registers files the build writes into ${CMAKE_BINARY_DIR}/datakit/ (a
#   generator's stamp stands for everything it writes) with the target that
#   makes them. The top level writes the list at configure time for the start
#   command's test (scripts/start_test.py); a data target that writes into
#   datakit/ registers its outputs here.
function(qoe_kit_outputs target)
  foreach(f ${ARGN})
    file(RELATIVE_PATH rel ${CMAKE_BINARY_DIR} ${f})
    set_property(GLOBAL APPEND PROPERTY QOE_KIT_OUTPUTS "${rel}\t${target}")
  endforeach()
endfunction()

# qoe_write_build_lists()
#   Writes, at configure time, the lists the start command's test reads
#   (independent of the generator): kit_outputs.txt ("<path under the build
#   folder>\t<target>" per line) and target_dependencies.txt ("<target>\t<its
#   direct dependencies, space-separated>" per target of the project).
function(qoe_collect_targets dir out)
  get_property(ts DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(s ${subs})
    qoe_collect_targets(${s} sub)
    list(APPEND ts ${sub})
  endforeach()
  set(${out} ${ts} PARENT_SCOPE)
endfunction()

function(qoe_write_build_lists)
  get_property(outs GLOBAL PROPERTY QOE_KIT_OUTPUTS)
  list(SORT outs)
  string(REPLACE ";" "\n" text "${outs}")
  file(WRITE ${CMAKE_BINARY_DIR}/kit_outputs.txt "${text}\n")
  qoe_collect_targets(${PROJECT_SOURCE_DIR} targets)
  list(SORT targets)
  set(lines "")
  foreach(t ${targets})
    get_target_property(deps ${t} MANUALLY_ADDED_DEPENDENCIES)
    if(NOT deps)
      set(deps "")
    endif()
    list(SORT deps)
    string(REPLACE ";" " " deps "${deps}")
    string(APPEND lines "${t}\t${deps}\n")
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/target_dependencies.txt "${lines}")
endfunction()
