# There is no include root that shows the whole repository. A library exports its public
# header from its own include/ folder; headers included by their repository path
# ("platform/component/variant.h", "libs/serilon/channel.h") are reached through include
# roots built here, each holding symbolic links to just the paths one target owns. So a
# file compiles only against the headers of the targets it links.

# vort_header_root(<name> <out-var> <path>...)
# Builds the include root ${CMAKE_BINARY_DIR}/include_roots/<name>, in which each <path>
# (a folder or one header, relative to the repository root) appears under the same
# path, and stores its folder in <out-var>.
function(vort_header_root name out_var)
  set(root ${CMAKE_BINARY_DIR}/include_roots/${name})
  foreach(path ${ARGN})
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${path})
      message(FATAL_ERROR "vort_header_root: ${path} does not exist")
    endif()
    set(link ${root}/${path})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${link})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${link} SYMBOLIC)
    endif()
  endforeach()
  set(${out_var} ${root} PARENT_SCOPE)
endfunction()

# vort_headers(<target> <PUBLIC|PRIVATE|INTERFACE> <path>...)
# Makes the headers under each <path> includable as "<path>/..." by <target> and, for
# PUBLIC and INTERFACE, by the targets that link it; by nothing else.
function(vort_headers target scope)
  vort_header_root(${target} root ${ARGN})
  target_include_directories(${target} ${scope} ${root})
endfunction()
