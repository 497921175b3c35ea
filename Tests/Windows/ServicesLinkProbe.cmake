# Every service linked into one program, whose imports must all be KnownDLLs. The release tree
# runs no tests, so there a bad import fails the build.
add_executable(services_link_probe ${CMAKE_CURRENT_LIST_DIR}/ServicesLinkProbe.cpp)
target_link_libraries(services_link_probe PRIVATE setupcore)
set(CHECK_IMPORTS python3 ${CMAKE_SOURCE_DIR}/Tests/Static/check_imports.py
    --objdump ${CMAKE_OBJDUMP})
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME services_imports COMMAND ${CHECK_IMPORTS} $<TARGET_FILE:services_link_probe>)
else()
  add_custom_command(TARGET services_link_probe POST_BUILD
    COMMAND ${CHECK_IMPORTS} $<TARGET_FILE:services_link_probe> VERBATIM)
endif()
