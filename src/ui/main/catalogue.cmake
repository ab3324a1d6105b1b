# The category catalogue as a small Qt-free library, shared by the main
# window, the sample database generator and the tests. Users include it as
# #include "ui/main/Catalogue.h".
include_guard(GLOBAL)

add_library(sarwino_catalogue STATIC ${CMAKE_CURRENT_LIST_DIR}/Catalogue.cpp)
get_filename_component(SARWINO_CATALOGUE_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
target_include_directories(sarwino_catalogue PUBLIC ${SARWINO_CATALOGUE_INCLUDE_DIR})
target_compile_features(sarwino_catalogue PUBLIC cxx_std_20)
