# Windows test programs run under Wine with a prefix inside the build folder.
# The wineserver is started outside ctest (tools/run-wine-tests.sh): a wineserver
# started from inside ctest inherits its output pipe and ctest never returns.
set(SCANSERVER_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(SCANSERVER_WINE_ENV
  WINEPREFIX=${SCANSERVER_WINEPREFIX}
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=)

function(scanserver_add_wine_test name)
  add_test(NAME ${name} COMMAND wine ${ARGN})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${SCANSERVER_WINE_ENV}")
endfunction()
