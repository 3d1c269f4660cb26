# Run by CPack on its staging tree: Debian keeps the programs of section "games" in /usr/games, while
# a plain cmake --install puts the program in bin/. The data is found relative to either.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/*/usr/bin/kelvane3d")
foreach(program IN LISTS programs)
    get_filename_component(bin "${program}" DIRECTORY)
    file(MAKE_DIRECTORY "${bin}/../games")
    file(RENAME "${program}" "${bin}/../games/kelvane3d")
    file(GLOB left "${bin}/*")
    if(NOT left) # the tools are not in the package
        file(REMOVE_RECURSE "${bin}")
    endif()
endforeach()
