# Run by cpack once it has installed the package's files into its staging
# folder (CPACK_PRE_BUILD_SCRIPTS): adds what Debian asks of a binary package
# (the machine-readable copyright file, the changelog, the manual's doc-base
# entry, lintian's overrides), compresses the man pages, strips the programs
# of the sections a package leaves out, and gives every folder and program
# mode 0755, every other file 0644, whatever the umask. gzip -n leaves the
# name and time out of each file, so every build gives the same package.
set(prefix ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(name ${CPACK_PACKAGE_NAME})

# Copies FROM to PATH under the prefix.
function(stage from path)
  get_filename_component(folder ${prefix}/${path} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${from} ${prefix}/${path})
endfunction()

stage(${CPACK_TONEWELL_DEBIAN_DIR}/copyright share/doc/${name}/copyright)
stage(${CPACK_TONEWELL_DEBIAN_DIR}/doc-base share/doc-base/${name})
stage(${CPACK_TONEWELL_DEBIAN_DIR}/lintian-overrides share/lintian/overrides/${name})
execute_process(COMMAND gzip -9n -c ${CPACK_TONEWELL_CHANGELOG}
                OUTPUT_FILE ${prefix}/share/doc/${name}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
file(GLOB pages ${prefix}/share/man/man*/*.[1-9])
execute_process(COMMAND gzip -9n ${pages} COMMAND_ERROR_IS_FATAL ANY)

file(GLOB programs ${prefix}/bin/*)
execute_process(COMMAND ${CPACK_TONEWELL_STRIP} --remove-section=.comment --remove-section=.note ${programs}
                COMMAND_ERROR_IS_FATAL ANY)
file(CHMOD_RECURSE ${prefix}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD ${programs}
     PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
