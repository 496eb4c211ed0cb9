# What the window needs beside it on Windows, installed with it: the Qt DLLs it links,
# the platform plugin Qt loads from "platforms" beside the program (and the style plugin
# when this Qt has one), and the compiler's runtime DLLs that Qt and the window load.
# No deployment tool runs in a cross build, so the files are named here.

install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
        DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
          DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
endif()

set(SUNDRIX_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The compiler echoes a bare name it did not find.
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "The compiler's runtime ${dll} was not found (${CMAKE_CXX_COMPILER})")
  endif()
  get_filename_component(found "${found}" REALPATH)
  list(APPEND SUNDRIX_RUNTIME_DLLS "${found}")
endforeach()
install(FILES ${SUNDRIX_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
