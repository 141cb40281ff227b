# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack on the staged tree before it packs it: every folder 0755, whatever the umask of
# whoever builds the package. A folder left 0700 (umask 077) or 0775 (umask 002) would install
# as such, and users could not read what it holds.
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(entry "${CPACK_TEMPORARY_DIRECTORY}" ${entries})
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
