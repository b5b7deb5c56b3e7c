# The simulated capture-card driver: a test and benchmark module exporting the driver's
# entry points over scripted cards. The device tests load it by path; it is
# built in the threading build too, whose device tests drive its threads.

if(VX_BUILD_TESTS OR VX_BUILD_BENCH)
  file(GLOB VX_DECKLINK_SIM_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine/devices/simdriver/*.cpp)
  if(VX_DECKLINK_SIM_SOURCES)
    add_library(vx_decklink_sim MODULE ${VX_DECKLINK_SIM_SOURCES})
    target_include_directories(vx_decklink_sim PRIVATE
      ${CMAKE_CURRENT_SOURCE_DIR}/source ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_link_libraries(vx_decklink_sim PRIVATE Threads::Threads)
    set_target_properties(vx_decklink_sim PROPERTIES
      OUTPUT_NAME VXDeckLinkSim
      PREFIX ""
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    vx_warnings(vx_decklink_sim)
  endif()
endif()
