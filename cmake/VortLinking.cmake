# Link features of the build.
#
# VORT_KEEP_LOADED: a shared library linked as $<LINK_LIBRARY:VORT_KEEP_LOADED,lib> is
# recorded as needed even when the program calls nothing of it by name (the toolchain
# links with --as-needed), so its static initialisers run at start-up. The features are
# looked up in the directory of the target being linked, so they are set here, for all.
set(CMAKE_LINK_LIBRARY_USING_VORT_KEEP_LOADED
    "LINKER:--push-state,--no-as-needed" "<LINK_ITEM>" "LINKER:--pop-state")
set(CMAKE_LINK_LIBRARY_USING_VORT_KEEP_LOADED_SUPPORTED TRUE)
