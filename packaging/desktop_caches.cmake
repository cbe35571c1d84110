# zorv_refresh_caches(SHARE) brings the desktop's caches below the data
# folder SHARE up to date: the MIME database, the applications' MIME cache
# and the icon cache. A cache that no longer describes any file is removed.
# A missing tool or a failure of one changes nothing else.
function(zorv_refresh_caches share)
  find_program(update_mime update-mime-database)
  find_program(update_desktop update-desktop-database)
  find_program(update_icons gtk-update-icon-cache)

  file(GLOB types "${share}/mime/packages/*.xml")
  if(types)
    if(update_mime)
      execute_process(COMMAND "${update_mime}" "${share}/mime" OUTPUT_QUIET ERROR_QUIET)
    endif()
  elseif(IS_DIRECTORY "${share}/mime")
    # Without a type definition the generated database describes nothing.
    file(GLOB generated LIST_DIRECTORIES true "${share}/mime/*")
    list(REMOVE_ITEM generated "${share}/mime/packages")
    if(generated)
      file(REMOVE_RECURSE ${generated})
    endif()
  endif()

  file(GLOB entries "${share}/applications/*.desktop")
  if(entries)
    if(update_desktop)
      execute_process(COMMAND "${update_desktop}" "${share}/applications" OUTPUT_QUIET ERROR_QUIET)
    endif()
  elseif(EXISTS "${share}/applications/mimeinfo.cache")
    file(REMOVE "${share}/applications/mimeinfo.cache")
  endif()

  if(update_icons AND EXISTS "${share}/icons/hicolor/index.theme")
    execute_process(COMMAND "${update_icons}" -q -t "${share}/icons/hicolor" OUTPUT_QUIET ERROR_QUIET)
  endif()
endfunction()
