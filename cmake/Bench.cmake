# The benchmark's images (bench/, run by tools/bench), made only in a build
# configured with -DLUMENTA_BENCH=ON (tools/bench uses build/bench):
#
#   LumentaSetupBoot-<n>MiB.exe   the bootstrapper with a random package of
#                                 n MiB (n = 1, 256), the sample framework
#                                 installer and the sample note
#   LumentaSetupBoot-256MiB-unaligned.exe
#                                 the same at 256 MiB with its resource
#                                 section left at a file offset that is not
#                                 page-aligned
#   limit-<n>MiB.exe              the same job by the shortest road: no
#                                 run-time library, one pass, the same
#                                 resources (bench/limit.c)
#   limit-nowalk-<n>MiB.exe       the limit without the walk of the
#                                 installed products (msi.dll): what that
#                                 walk costs
#   empty.exe                     a GUI program that only exits: the cost of
#                                 a process start; also the shell's "open"
#                                 handler of .msi in the bench prefix
#   desktop.exe                   holds the prefix's desktop up while the
#                                 bench runs (bench/desktop.c)
#
# The packages are made at build time into ${CMAKE_BINARY_DIR}/bench and are
# never part of the source tree; the "bench" object of the build's
# manifest.json tells the runner where everything is. Target: lumenta_bench; lumenta_bench_ours builds only the
# bootstrapper's images, for a second build of another configuration (the
# toolchain's own runtime) that the runner shows beside the first.

if(NOT LUMENTA_BENCH)
  return()
endif()

set(LUMENTA_BENCH_SOURCE_DIR "${CMAKE_SOURCE_DIR}/bench")
set(LUMENTA_BENCH_BINARY_DIR "${CMAKE_BINARY_DIR}/bench")
set(LUMENTA_BENCH_SIZES_MIB 1 256)
set(LUMENTA_ALLOW_UNUSUAL_PAYLOADS ON)  # the packages are random bytes
file(MAKE_DIRECTORY "${LUMENTA_BENCH_BINARY_DIR}")

# ---- Programs without a run-time library ------------------------------------------------

# The entry point is BenchEntry (stdcall, no arguments; ld adds the
# underscore and the decoration on i686). Nothing of libgcc or the C library
# may be needed: no stack probes, no stack protector, no unwind tables.
function(lumenta_bench_bare_program target output_name)
  add_executable(${target} WIN32 ${ARGN})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${output_name}"
    RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_BENCH_BINARY_DIR}")
  target_compile_options(${target} PRIVATE
    -Os -ffreestanding -fno-stack-protector -fno-asynchronous-unwind-tables
    -mno-stack-arg-probe)
  target_link_options(${target} PRIVATE
    -nostdlib "-Wl,-e,_BenchEntry@0" -s -Wl,--gc-sections
    "-Wl,--file-alignment,4096" "-Wl,--no-insert-timestamp"
    "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1")
endfunction()

lumenta_bench_bare_program(lumenta_bench_empty empty "${LUMENTA_BENCH_SOURCE_DIR}/empty.c")
target_link_libraries(lumenta_bench_empty PRIVATE kernel32)
lumenta_bench_bare_program(lumenta_bench_desktop desktop "${LUMENTA_BENCH_SOURCE_DIR}/desktop.c")
target_link_libraries(lumenta_bench_desktop PRIVATE kernel32 user32)

# ---- Packages and the images that hold them -----------------------------------------------

set(LUMENTA_BENCH_TARGETS lumenta_bench_empty lumenta_bench_desktop)
set(LUMENTA_BENCH_OURS "")
lumenta_manifest(bench empty "$<TARGET_FILE:lumenta_bench_empty>")
lumenta_manifest(bench desktop "$<TARGET_FILE:lumenta_bench_desktop>")

# lumenta_bench_variant(<name> <kind> <MiB> <target> <msi>): one of the
# images that the runner times.
function(lumenta_bench_variant name kind mib target msi)
  lumenta_manifest(bench variants ${name} kind ${kind})
  lumenta_manifest(bench variants ${name} mib ${mib})
  lumenta_manifest(bench variants ${name} exe "$<TARGET_FILE:${target}>")
  lumenta_manifest(bench variants ${name} msi "${msi}")
endfunction()

foreach(mib IN LISTS LUMENTA_BENCH_SIZES_MIB)
  set(package "${LUMENTA_BENCH_BINARY_DIR}/payloads/package-${mib}MiB.bin")
  math(EXPR bytes "${mib} * 1048576")
  add_custom_command(OUTPUT "${package}"
    COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/payloads/make_random.py"
            "${package}" ${bytes}
    DEPENDS "${CMAKE_SOURCE_DIR}/payloads/make_random.py"
    COMMENT "Random package of ${mib} MiB for the bench"
    VERBATIM)
  add_custom_target(lumenta_bench_payload_${mib} DEPENDS "${package}")

  # The product's code with this package.
  set(boot lumenta_bench_boot_${mib})
  lumenta_add_bootstrapper(${boot}
    MSI "${package}"
    EXE "${LUMENTA_SAMPLE_DOTNET_SETUP}"
    NOTE "${LUMENTA_SAMPLE_NOTE}"
    OUTPUT_NAME "LumentaSetupBoot-${mib}MiB")
  set_target_properties(${boot} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_BENCH_BINARY_DIR}")
  add_dependencies(${boot} lumenta_bench_payload_${mib})
  list(APPEND LUMENTA_BENCH_TARGETS ${boot})
  lumenta_bench_variant("ours-${mib}" ours ${mib} ${boot} "${package}")

  # The limit, with the same resources, compiled apart because windres
  # takes none of the C compiler's options.
  set(limit lumenta_bench_limit_${mib})
  add_library(${limit}_resources OBJECT)
  lumenta_add_resources(${limit}_resources
    MSI "${package}" EXE "${LUMENTA_SAMPLE_DOTNET_SETUP}" NOTE "${LUMENTA_SAMPLE_NOTE}")
  add_dependencies(${limit}_resources lumenta_bench_payload_${mib})

  lumenta_bench_bare_program(${limit} "limit-${mib}MiB"
    "${LUMENTA_BENCH_SOURCE_DIR}/limit.c" $<TARGET_OBJECTS:${limit}_resources>)
  target_link_libraries(${limit} PRIVATE kernel32 advapi32 shell32)
  list(APPEND LUMENTA_BENCH_TARGETS ${limit})
  lumenta_bench_variant("limit-${mib}" limit ${mib} ${limit} "${package}")

  # The limit without the walk of the installed products.
  set(nowalk lumenta_bench_limit_nowalk_${mib})
  lumenta_bench_bare_program(${nowalk} "limit-nowalk-${mib}MiB"
    "${LUMENTA_BENCH_SOURCE_DIR}/limit.c" $<TARGET_OBJECTS:${limit}_resources>)
  target_compile_definitions(${nowalk} PRIVATE BENCH_SKIP_WALK)
  target_link_libraries(${nowalk} PRIVATE kernel32 advapi32 shell32)
  list(APPEND LUMENTA_BENCH_TARGETS ${nowalk})
  lumenta_bench_variant("limit-nowalk-${mib}" limit-nowalk ${mib} ${nowalk} "${package}")
  list(APPEND LUMENTA_BENCH_OURS ${boot})
endforeach()

# The largest package once more, with the resource section at a file offset
# that is not page-aligned: the image as the linker lays it out, moved by 512
# bytes where that happens to be page-aligned already.
set(unaligned lumenta_bench_boot_256_unaligned)
lumenta_add_bootstrapper(${unaligned}
  MSI "${LUMENTA_BENCH_BINARY_DIR}/payloads/package-256MiB.bin"
  EXE "${LUMENTA_SAMPLE_DOTNET_SETUP}"
  NOTE "${LUMENTA_SAMPLE_NOTE}"
  OUTPUT_NAME "LumentaSetupBoot-256MiB-unaligned"
  RESOURCES_UNALIGNED)
set_target_properties(${unaligned} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_BENCH_BINARY_DIR}")
add_custom_command(TARGET ${unaligned} POST_BUILD
  COMMAND "${CMAKE_SOURCE_DIR}/cmake/page_align_resources.py" --misalign
          "$<TARGET_FILE:${unaligned}>"
  VERBATIM)
add_dependencies(${unaligned} lumenta_bench_payload_256)
list(APPEND LUMENTA_BENCH_TARGETS ${unaligned})
lumenta_bench_variant("ours-256-unaligned" ours 256 ${unaligned}
  "${LUMENTA_BENCH_BINARY_DIR}/payloads/package-256MiB.bin")

# ---- All of it, and where it is --------------------------------------------------------------

add_custom_target(lumenta_bench)
add_dependencies(lumenta_bench ${LUMENTA_BENCH_TARGETS} lumenta_e2e_mscoree)
add_custom_target(lumenta_bench_ours)
add_dependencies(lumenta_bench_ours ${LUMENTA_BENCH_OURS})
