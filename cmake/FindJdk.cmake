# Locate the JDK through the javac on PATH, so the agent is built against the
# headers of the JDK that will run it. JDK_HOME may be given to pick another one.
if(NOT JDK_HOME)
  find_program(VORLAN_JAVAC javac REQUIRED)
  file(REAL_PATH "${VORLAN_JAVAC}" _vorlan_javac_real)
  get_filename_component(_vorlan_jdk_bin "${_vorlan_javac_real}" DIRECTORY)
  get_filename_component(JDK_HOME "${_vorlan_jdk_bin}" DIRECTORY)
endif()
set(JDK_HOME "${JDK_HOME}" CACHE PATH "JDK whose headers and tools are used")
set(JDK_INCLUDE_DIRS "${JDK_HOME}/include" "${JDK_HOME}/include/linux")
set(JDK_JAVAC "${JDK_HOME}/bin/javac")
set(JDK_JAVA "${JDK_HOME}/bin/java")
if(NOT EXISTS "${JDK_HOME}/include/jvmti.h")
  message(FATAL_ERROR "No jvmti.h under ${JDK_HOME}/include: install a JDK (openjdk-17-jdk-headless)")
endif()
message(STATUS "JDK: ${JDK_HOME}")

# Compile Java sources into a class directory; TARGET depends on the result.
function(vorlan_add_java TARGET OUTDIR)
  set(_stamp "${OUTDIR}/.stamp")
  add_custom_command(OUTPUT "${_stamp}"
    COMMAND "${JDK_JAVAC}" -d "${OUTDIR}" ${ARGN}
    COMMAND "${CMAKE_COMMAND}" -E touch "${_stamp}"
    DEPENDS ${ARGN}
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
    COMMENT "javac ${TARGET}")
  add_custom_target(${TARGET} ALL DEPENDS "${_stamp}")
endfunction()
