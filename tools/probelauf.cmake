# probelauf: one synchronisation run from the command line, built once with the configured
# time services and once with the loopback ones of the tests.
foreach(variante IN ITEMS "" "_test")
  add_executable(probelauf${variante} probelauf.cpp)
  target_link_libraries(probelauf${variante} PRIVATE dadaviru_inet dadaviru_quellen${variante})
endforeach()
