# The installer offers Brimlet in Explorer's "Open with" for .dir and .img,
# and never makes it the default program of either: .img is also the disk
# image type Windows mounts, and .dir has other programs of its own. Only
# keys of Brimlet's are written, so the uninstaller can remove them whole;
# SHCTX is HKLM for an installation for all users, HKCU for one user.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  WriteRegStr SHCTX "Software\Classes\Applications\brimlet.exe" "FriendlyAppName" "Brimlet"
  WriteRegStr SHCTX "Software\Classes\Applications\brimlet.exe\DefaultIcon" "" "$INSTDIR\brimlet.exe,0"
  WriteRegStr SHCTX "Software\Classes\Applications\brimlet.exe\shell\open\command" "" '"$INSTDIR\brimlet.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\Applications\brimlet.exe\SupportedTypes" ".dir" ""
  WriteRegStr SHCTX "Software\Classes\Applications\brimlet.exe\SupportedTypes" ".img" ""
  WriteRegStr SHCTX "Software\Classes\.dir\OpenWithList\brimlet.exe" "" ""
  WriteRegStr SHCTX "Software\Classes\.img\OpenWithList\brimlet.exe" "" ""
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
# .dir and .img themselves go only when nothing else is left in them (no
# default value, no other program's entry): /ifempty alone would take a key
# with values.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  DeleteRegKey SHCTX "Software\Classes\Applications\brimlet.exe"
  DeleteRegKey SHCTX "Software\Classes\.dir\OpenWithList\brimlet.exe"
  DeleteRegKey SHCTX "Software\Classes\.img\OpenWithList\brimlet.exe"
  DeleteRegKey /ifnosubkeys /ifnovalues SHCTX "Software\Classes\.dir\OpenWithList"
  DeleteRegKey /ifnosubkeys /ifnovalues SHCTX "Software\Classes\.img\OpenWithList"
  DeleteRegKey /ifnosubkeys /ifnovalues SHCTX "Software\Classes\.dir"
  DeleteRegKey /ifnosubkeys /ifnovalues SHCTX "Software\Classes\.img"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
