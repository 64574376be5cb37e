# The layers of the source tree, lowest first. A folder may include headers
# and link libraries only from folders of a lower layer (and from itself).
# The build enforces it twice: each library's include path holds only its own
# folder and those of the libraries it links (vp_add_library), and the
# "layering" test scans every #include against this table.
set(VP_FOLDER_LAYERS
  "source/xp=0"     # support library
  "security=0"      # cryptographic primitives
  "resources=0"     # the Windows module's resource ids, script and icons
  "codec=1"         # container format and decode pipeline
  "reader=2"        # user-interface contract, OS seam, open-document flow, output and wiping
  "tools=2"         # developer tools (the document encoder and friends)
  "desktop=2"       # the Linux desktop: icon pictures, PNG, thumbnails, the type's desktop files
  "os=3"            # operating-system services per platform
  "reader/gtk=3"    # the desktop dialogs on GTK 4 (GtkGui), above the flow and desktop/
  "cli=4"           # the Linux command-line reader
  "install=4"       # installation, registration, uninstallation, the shell icon handler
  "web=4"           # the browser reader: the core's entry for its page, and the page
  "module=5"        # the Windows module vaultpost.dll: its exports and the objects made at load
  "setup=6"         # the Windows setup program (NSIS) and the generator of its texts
  "fuzz=6"          # libFuzzer targets over every parser of hostile input
)

# vp_folder_layer(FOLDER OUT): the layer of a folder relative to the source
# root (the longest listed prefix wins), or -1 when it is not listed.
function(vp_folder_layer folder out)
  set(_best "")
  set(_layer -1)
  foreach(_pair ${VP_FOLDER_LAYERS})
    string(REPLACE "=" ";" _kv "${_pair}")
    list(GET _kv 0 _f)
    list(GET _kv 1 _l)
    string(LENGTH "${_f}" _n)
    string(LENGTH "${_best}" _bn)
    if((folder STREQUAL _f OR folder MATCHES "^${_f}/") AND _n GREATER _bn)
      set(_best "${_f}")
      set(_layer ${_l})
    endif()
  endforeach()
  set(${out} ${_layer} PARENT_SCOPE)
  set(${out}_FOLDER "${_best}" PARENT_SCOPE)
endfunction()
