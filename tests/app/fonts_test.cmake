# The bundled stand-in for "MS Sans Serif" (src/app/Fonts.cpp).
sarwino_add_test(tst_fonts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_fonts.cpp
          ${CMAKE_SOURCE_DIR}/src/app/Fonts.cpp
          ${CMAKE_SOURCE_DIR}/src/assets/fonts/fonts.qrc
  LIBS Qt6::Gui)
set_target_properties(tst_fonts PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(tst_fonts PRIVATE ${CMAKE_SOURCE_DIR}/src)
