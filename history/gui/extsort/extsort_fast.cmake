# The fast sort engine and its differential tests.  Included from the
# directory's CMakeLists.txt, after the extsort library.

xh_library(extsort_fast extsort_fast.cc)
target_link_libraries(extsort_fast PUBLIC extsort_lines gen xh_platform)
target_link_libraries(extsort PUBLIC extsort_fast)

if(XH_TESTS)
  xh_test(extsort_fast_test
    SOURCES extsort_fast_test.cc
    LIBS fsutil_commands extsort_fast xh_harness)
endif()
