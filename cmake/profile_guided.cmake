# Profile-guided optimisation. An instrumented copy of the assembler, built
# from the same sources in build/training, assembles a few programs; vexa_core
# and vexa are then compiled with the branch and call counts it recorded,
# which makes the per-line loops about a tenth faster.
include(ExternalProject)

set(VEXA_TRAINING_DIR ${CMAKE_BINARY_DIR}/training)
set(VEXA_PROFILE_DIR ${CMAKE_BINARY_DIR}/profile)
set(VEXA_PROFILE_STAMP ${VEXA_PROFILE_DIR}/trained.stamp)

# Recursive make shares the parent build's jobs.
if(CMAKE_GENERATOR MATCHES "Make")
  set(VEXA_TRAINING_BUILD $(MAKE) vexa)
else()
  set(VEXA_TRAINING_BUILD ${CMAKE_COMMAND} --build ${VEXA_TRAINING_DIR} --target vexa)
endif()

# The object files of both builds have the same paths below their build
# directories, so the profile names match once the prefix is stripped.
ExternalProject_Add(vexa_training
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VEXA_TRAINING_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
             "-DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS} -fprofile-generate=${VEXA_PROFILE_DIR} -fprofile-prefix-path=${VEXA_TRAINING_DIR} -fprofile-update=single"
             -DVEXA_PROFILE_GUIDED=OFF
  BUILD_COMMAND ${VEXA_TRAINING_BUILD}
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${VEXA_TRAINING_DIR}/vexa
  INSTALL_COMMAND "")

# The example programs, and where Python is at hand a large generated one
# of the common instructions, data and jumps, as most programs are written.
file(GLOB VEXA_TRAINING_PROGRAMS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.asm)
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(VEXA_GENERATED_PROGRAM ${CMAKE_BINARY_DIR}/training-program/ordinary.asm)
  add_custom_command(
    OUTPUT ${VEXA_GENERATED_PROGRAM}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/training-program
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/bench/generate_program.py 5000 500
            ${CMAKE_BINARY_DIR}/training-program/ordinary --seed 7
    DEPENDS ${PROJECT_SOURCE_DIR}/bench/generate_program.py
    COMMENT "Generating a program to record the profile of"
    VERBATIM)
  list(APPEND VEXA_TRAINING_PROGRAMS ${VEXA_GENERATED_PROGRAM})
endif()
add_custom_command(
  OUTPUT ${VEXA_PROFILE_STAMP}
  COMMAND ${CMAKE_COMMAND} -DVEXA=${VEXA_TRAINING_DIR}/vexa -DPROFILE_DIR=${VEXA_PROFILE_DIR}
          -DSCRATCH_DIR=${CMAKE_BINARY_DIR}/training-run -DSTAMP=${VEXA_PROFILE_STAMP}
          "-DPROGRAMS=${VEXA_TRAINING_PROGRAMS}" -P ${CMAKE_CURRENT_LIST_DIR}/train_profile.cmake
  DEPENDS vexa_training ${VEXA_TRAINING_DIR}/vexa ${VEXA_TRAINING_PROGRAMS}
          ${CMAKE_CURRENT_LIST_DIR}/train_profile.cmake
  COMMENT "Recording the profile of the training programs"
  VERBATIM)
add_custom_target(vexa_profile DEPENDS ${VEXA_PROFILE_STAMP})

set(VEXA_PROFILE_USE -fprofile-use=${VEXA_PROFILE_DIR} -fprofile-prefix-path=${CMAKE_BINARY_DIR}
    -fprofile-partial-training -Wno-missing-profile -Wno-error=coverage-mismatch)
foreach(target vexa_core vexa)
  add_dependencies(${target} vexa_profile)
  target_compile_options(${target} PRIVATE ${VEXA_PROFILE_USE})
  target_link_options(${target} PRIVATE ${VEXA_PROFILE_USE})
  get_target_property(sources ${target} SOURCES)
  set_source_files_properties(${sources} TARGET_DIRECTORY ${target} PROPERTIES
                              OBJECT_DEPENDS ${VEXA_PROFILE_STAMP})
endforeach()
