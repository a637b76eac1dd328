# Runs the instrumented assembler over each program, with and without a
# listing, after clearing the counts of any earlier run.
file(GLOB old_counts ${PROFILE_DIR}/*.gcda)
if(old_counts)
  file(REMOVE ${old_counts})
endif()
file(REMOVE_RECURSE ${SCRATCH_DIR})
file(MAKE_DIRECTORY ${SCRATCH_DIR})
foreach(program ${PROGRAMS})
  get_filename_component(name ${program} NAME)
  file(COPY ${program} DESTINATION ${SCRATCH_DIR})
  foreach(options "" "-l")
    execute_process(COMMAND ${VEXA} ${name} ${options} WORKING_DIRECTORY ${SCRATCH_DIR}
                    OUTPUT_QUIET ERROR_QUIET)
  endforeach()
endforeach()
file(TOUCH ${STAMP})
