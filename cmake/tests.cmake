# Tests, variant harness, benchmarks, fuzz replays and the sanitizer sub-build.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

set(OKV_TEST_DEFS OKV_NS=okv_u8 OKV_VARIANT=0 OKV_SHARED_DIR="${OKV_SHARED_DIR}"
    OKV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
if(OKV_SANITIZE OR OKV_FUZZ)
  # A test-only core library is preloaded ahead of the sanitizer runtime in the selection tests.
  set(OKV_TEST_ENV ASAN_OPTIONS=verify_asan_link_order=0)
endif()

# Test programs reach the bodies of both variants through the static archive.
function(okv_test_program target)
  target_link_libraries(${target} PRIVATE okvacu8 okvac_bodies)
  target_compile_definitions(${target} PRIVATE ${OKV_TEST_DEFS})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tools/okvac)
  target_compile_options(${target} PRIVATE -mssse3)
  add_dependencies(${target} okvac_gen)
endfunction()

# ---- Variant harness: every tests/*/check_*.cpp registers checkers.
file(GLOB OKV_CHECK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*/check_*.cpp)
add_executable(okvac_checkasm ${CMAKE_SOURCE_DIR}/tests/harness/checkasm.cpp ${OKV_CHECK_SOURCES})
okv_test_program(okvac_checkasm)
# A fixed seed keeps the suite reproducible; run okvac_checkasm alone for fresh random seeds.
add_test(NAME checkasm COMMAND okvac_checkasm --seed 20141009 --iters 40)

# ---- GoogleTest binaries, one per tests/<subsystem>/ folder.
file(GLOB OKV_TEST_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir ${OKV_TEST_DIRS})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  if(srcs)
    get_filename_component(name ${dir} NAME)
    add_executable(test_${name} ${srcs})
    okv_test_program(test_${name})
    target_link_libraries(test_${name} PRIVATE GTest::gtest_main)
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT "${OKV_TEST_ENV}")
  endif()
endforeach()

# ---- Frame checks: header alone as C and C++, exported symbols, entry code, variant selection.
add_test(NAME header_compiles_as_c99 COMMAND ${CMAKE_C_COMPILER} -std=c99 -pedantic-errors -Wall -Wextra
  -Werror -fsyntax-only -x c ${CMAKE_SOURCE_DIR}/include/okvac.h)
add_test(NAME header_compiles_as_cxx COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -pedantic-errors -Wall -Wextra
  -Werror -fsyntax-only -x c++ ${CMAKE_SOURCE_DIR}/include/okvac.h)
add_test(NAME library_exports_only_the_list COMMAND ${Python3_EXECUTABLE}
  ${CMAKE_SOURCE_DIR}/tests/core/check_library.py exports $<TARGET_FILE:okvacu8> ${OKV_GEN}/okvac_export_names.inc)
add_test(NAME entry_points_are_two_loads_and_a_jump COMMAND ${Python3_EXECUTABLE}
  ${CMAKE_SOURCE_DIR}/tests/core/check_library.py entries $<TARGET_FILE:okvacu8> ${OKV_GEN}/okvac_export_names.inc)

add_library(fake_okvcore SHARED ${CMAKE_SOURCE_DIR}/tests/core/fake_okvcore.c)
add_executable(version_probe ${CMAKE_SOURCE_DIR}/tests/core/version_probe.c)
target_link_libraries(version_probe PRIVATE okvacu8)
foreach(case "0x30;n8" "0x10;u8" "0x20;u8" "0x0;u8" "0xffffffffffffffff;n8" "0xffffffffffffffcf;u8")
  list(GET case 0 mask)
  list(GET case 1 tag)
  add_test(NAME variant_selected_for_mask_${mask} COMMAND version_probe)
  set_tests_properties(variant_selected_for_mask_${mask} PROPERTIES
    ENVIRONMENT "LD_PRELOAD=$<TARGET_FILE:fake_okvcore>;OKV_FAKE_ENABLED_MASK=${mask};${OKV_TEST_ENV}"
    PASS_REGULAR_EXPRESSION "^cpuTag=${tag} stable\n")
endforeach()

add_test(NAME okvac_default_job COMMAND okvac)
if(NOT OKV_SANITIZE)  # the consuming application is built without the sanitizer runtime
  add_test(NAME install_and_consume COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
    -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/tests/install/check_install.cmake)
endif()

# ---- Fuzz targets: corpus replay in the suite; real libFuzzer binaries with OKV_FUZZ.
file(GLOB OKV_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
foreach(src ${OKV_FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" short ${name})
  add_executable(replay_${short} ${src} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  okv_test_program(replay_${short})
  add_test(NAME fuzz_replay_${short} COMMAND replay_${short} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${short})
  if(OKV_FUZZ)
    add_executable(${name} ${src})
    okv_test_program(${name})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endif()
endforeach()

# ---- Benchmarks (not run by the suite).
find_package(benchmark REQUIRED)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(FFTW3F QUIET IMPORTED_TARGET fftw3f)
endif()
file(GLOB OKV_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(OKV_BENCH_SOURCES)
  add_executable(okvac_bench ${OKV_BENCH_SOURCES})
  okv_test_program(okvac_bench)
  target_link_libraries(okvac_bench PRIVATE benchmark::benchmark_main)
  if(FFTW3F_FOUND)
    target_compile_definitions(okvac_bench PRIVATE OKV_HAVE_FFTW=1)
    target_link_libraries(okvac_bench PRIVATE PkgConfig::FFTW3F)
  endif()
endif()

# ---- The same project under ASan+UBSan, built and tested as one test of this suite.
if(OKV_ASAN_SUBBUILD)
  include(ExternalProject)
  ExternalProject_Add(okvac_asan
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/asan
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DOKV_SANITIZE=ON -DOKV_ASAN_SUBBUILD=OFF
               -DOKV_SHARED_DIR=${OKV_SHARED_DIR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  add_test(NAME asan_ubsan_suite COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${CMAKE_BINARY_DIR}/asan
    --output-on-failure -j2)
endif()
