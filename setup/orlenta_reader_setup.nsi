; OrlentaReaderSetup-<version>.exe: the setup program of the 32-bit Windows
; module. It unpacks vaultpost.dll into a private temporary folder, hands it
; to the module's own InstallDll with the installation request the module
; reads (where it lies, its name, no runtime files: the module links its
; runtimes statically), and removes what it unpacked. The module copies
; itself, registers the document types and writes the entry of the list of
; installed programs, whose uninstall command is the module's own
; UninstallDll: there is no second uninstaller.
;
; Built by CMake (setup/CMakeLists.txt):
;   makensis -DVP_TEXTS=<setup_texts.nsh> -DVP_MODULE=<vaultpost.dll>
;            -DVP_ARTWORK=<folder of program.ico and setup.bmp> -DVP_OUTFILE=<setup.exe>
;            orlenta_reader_setup.nsi
;
; Command line, besides NSIS's own /S (silent):
;   /ALLUSERS      install for everyone (Program Files; administrator rights)
;   /CURRENTUSER   install for the current user only (no administrator rights)
; Without either, an administrator installs for everyone, anyone else for
; themselves; interactively the scope page offers both.
; Exit codes: 0 installed (or a newer module kept), 1 cancelled by the user,
; 2 not installed (the module could not be installed; nothing registered),
; 3 administrator rights were needed and not given, 4 bad command line.

!ifndef VP_TEXTS | VP_MODULE | VP_ARTWORK | VP_OUTFILE
  !error "define VP_TEXTS, VP_MODULE, VP_ARTWORK and VP_OUTFILE"
!endif

Unicode true
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all
ManifestDPIAware true

!include "${VP_TEXTS}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include nsDialogs.nsh

!define EXIT_FAILED 2
!define EXIT_NOT_ELEVATED 3
!define EXIT_USAGE 4

Name "${VP_PRODUCT_NAME}"
Caption "${VP_PRODUCT_NAME} ${VP_VERSION_TEXT} Setup"
OutFile "${VP_OUTFILE}"
BrandingText "${VP_PRODUCT_NAME} ${VP_VERSION_TEXT}"
ShowInstDetails show
CRCCheck force

VIProductVersion "${VP_FILE_VERSION}"
VIFileVersion "${VP_FILE_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${VP_PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VP_VERSION_TEXT}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VP_VERSION_TEXT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${VP_PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${VP_MAKER_NAME}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${VP_NOTICE_TEXT}"

Var Scope         ; "machine" or "user", as the module's scope variable takes it
Var ScopeGiven    ; 1 when the command line chose the scope
Var Elevated      ; 1 in the copy this setup started with administrator rights
Var IsAdmin
Var FinishText
Var MachineButton
Var UserButton

!define MUI_ICON "${VP_ARTWORK}/program.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${VP_ARTWORK}/setup.bmp"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Welcome to the ${VP_PRODUCT_NAME} ${VP_VERSION_TEXT} Setup"
!define MUI_WELCOMEPAGE_TEXT "This installs the ${VP_PRODUCT_NAME}, which opens password-protected \
${VP_DOCUMENT_DESCRIPTION}s (${VP_DOCUMENT_EXTENSIONS}) when you double-click them.$\r$\n$\r$\n\
To remove it later, use the list of installed programs.$\r$\n$\r$\nClick Next to continue."
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenElevated
!insertmacro MUI_PAGE_WELCOME
Page custom ScopePage ScopePageLeave
; The progress page stays, with what was done, until the user goes on.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${VP_PRODUCT_NAME} ${VP_VERSION_TEXT}"
!define MUI_FINISHPAGE_TEXT "$FinishText$\r$\n$\r$\nClick Finish to close Setup."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${GetParameters} $R0
  StrCpy $Scope ""
  StrCpy $ScopeGiven 0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $Scope machine
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    ${If} $Scope == machine
      ${IfNot} ${Silent}
        MessageBox MB_OK|MB_ICONSTOP "Give either /ALLUSERS or /CURRENTUSER, not both."
      ${EndIf}
      SetErrorLevel ${EXIT_USAGE}
      Quit
    ${EndIf}
    StrCpy $Scope user
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ELEVATED" $R1
  ${If} ${Errors}
    StrCpy $Elevated 0
  ${Else}
    StrCpy $Elevated 1
  ${EndIf}
  ; The module decides by the same call where nothing else says.
  System::Call 'shell32::IsUserAnAdmin() i .r0'
  StrCpy $IsAdmin $0
  ${If} $Scope != ""
    StrCpy $ScopeGiven 1
  ${ElseIf} $IsAdmin <> 0
    StrCpy $Scope machine
  ${Else}
    StrCpy $Scope user
  ${EndIf}
  ; An installation for everyone asked for on the command line, without the
  ; rights for it, asks for them (once: the elevated copy must have them).
  ${If} $Scope == machine
  ${AndIf} $IsAdmin == 0
    ${If} $Elevated == 1
      SetErrorLevel ${EXIT_NOT_ELEVATED}
      Quit
    ${EndIf}
    Call RunElevated
    Pop $0
    ${If} $0 == ""
      SetErrorLevel ${EXIT_NOT_ELEVATED}
    ${Else}
      SetErrorLevel $0
    ${EndIf}
    Quit
  ${EndIf}
FunctionEnd

; Starts this setup again with administrator rights (Windows asks the user)
; for everyone, waits for it and pushes its exit code, or "" when it could not
; start (the user said no).
Function RunElevated
  StrCpy $1 "/ALLUSERS /ELEVATED"
  ${If} ${Silent}
    StrCpy $1 "/S $1"
  ${EndIf}
  ; SHELLEXECUTEINFOW with SEE_MASK_NOCLOSEPROCESS (0x40) and SW_SHOWNORMAL.
  System::Call '*(i 60, i 0x40, p $HWNDPARENT, w "runas", w "$EXEPATH", w "$1", p 0, i 1, p 0, p 0, p 0, p 0, i 0, p 0, p 0) p .r2'
  System::Call 'shell32::ShellExecuteExW(p r2) i .r3'
  StrCpy $0 ""
  ${If} $3 <> 0
    System::Call '*$2(i, i, p, p, p, p, p, i, p, p, p, p, i, p, p .r4)'
    System::Call 'kernel32::WaitForSingleObject(p r4, i -1)'
    System::Call 'kernel32::GetExitCodeProcess(p r4, *i .r0)'
    System::Call 'kernel32::CloseHandle(p r4)'
  ${EndIf}
  System::Free $2
  Push $0
FunctionEnd

Function SkipWhenElevated
  ${If} $Elevated == 1
    Abort
  ${EndIf}
FunctionEnd

Function ScopePage
  ${If} $ScopeGiven == 1
  ${OrIf} $Elevated == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose for whom the ${VP_PRODUCT_NAME} is installed."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Documents open with the ${VP_PRODUCT_NAME} for:"
  Pop $0
  ${NSD_CreateRadioButton} 10u 24u -10u 12u "&Anyone who uses this computer"
  Pop $MachineButton
  ${NSD_CreateLabel} 22u 38u -22u 20u "Installs into the Program Files folder, for every user; needs administrator rights."
  Pop $0
  ${NSD_CreateRadioButton} 10u 66u -10u 12u "Only for &me"
  Pop $UserButton
  ${NSD_CreateLabel} 22u 80u -22u 20u "Installs into your own application data folder; needs no administrator rights."
  Pop $0
  ${If} $Scope == machine
    ${NSD_Check} $MachineButton
    ${NSD_SetFocus} $MachineButton
  ${Else}
    ${NSD_Check} $UserButton
    ${NSD_SetFocus} $UserButton
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $MachineButton $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Scope machine
  ${Else}
    StrCpy $Scope user
  ${EndIf}
  ${If} $Scope == machine
  ${AndIf} $IsAdmin == 0
    HideWindow
    Call RunElevated
    Pop $0
    ${If} $0 == ""
      BringToFront
      MessageBox MB_OK|MB_ICONEXCLAMATION "Installing for everyone needs administrator rights. \
Choose $\"Only for me$\" to install without them."
      Abort
    ${EndIf}
    SetErrorLevel $0
    Quit
  ${EndIf}
FunctionEnd

; $FinishText: "already installed" when the scope's installation holds this
; version of the module or a newer one (the module keeps a newer one), else
; "installed". The uninstall entry names the installed module.
Function DescribePreviousInstallation
  StrCpy $FinishText "${VP_TEXT_INSTALLED}"
  ${If} $Scope == machine
    ReadRegStr $0 HKLM "${VP_UNINSTALL_ENTRY}" "UninstallString"
  ${Else}
    ReadRegStr $0 HKCU "${VP_UNINSTALL_ENTRY}" "UninstallString"
  ${EndIf}
  ; [rundll32.exe | "<32-bit rundll32>"] "<module>",UninstallDll ...: the module
  ; is the last quoted text.
  ${WordFind} $0 '"' "-2" $1
  ${If} $1 == $0
    Return
  ${EndIf}
  ClearErrors
  GetDLLVersion $1 $2 $3
  ${If} ${Errors}
    Return
  ${EndIf}
  IntOp $4 $2 >> 16
  IntOp $4 $4 & 0xFFFF
  IntOp $5 $2 & 0xFFFF
  IntOp $6 $3 >> 16
  IntOp $6 $6 & 0xFFFF
  IntOp $7 $3 & 0xFFFF
  ${VersionCompare} "$4.$5.$6.$7" "${VP_FILE_VERSION}" $8
  ${If} $8 != 2
    StrCpy $FinishText "${VP_TEXT_ALREADY_INSTALLED}"
  ${EndIf}
FunctionEnd

Section "Install"
  ${If} $Scope == machine
    DetailPrint "Installing the ${VP_PRODUCT_NAME} ${VP_VERSION_TEXT} for everyone"
  ${Else}
    DetailPrint "Installing the ${VP_PRODUCT_NAME} ${VP_VERSION_TEXT} for the current user"
  ${EndIf}
  Call DescribePreviousInstallation

  ; The private temporary folder NSIS makes (and deletes when it ends). The
  ; progress page lists what this setup does, not each file it touches.
  DetailPrint "Unpacking the module"
  SetDetailsPrint none
  InitPluginsDir
  StrCpy $R0 "$PLUGINSDIR\payload"
  CreateDirectory $R0
  SetOutPath $R0
  File "/oname=vaultpost.dll" "${VP_MODULE}"
  ; Out of the folder again: a working directory cannot be removed.
  SetOutPath $TEMP
  ; The module reads the request's texts in the ANSI code page: the folder's
  ; short name survives that where its long name may not.
  GetFullPathName /SHORT $R1 $R0
  ${If} $R1 == ""
    StrCpy $R1 $R0
  ${EndIf}

  ; The scope chosen here, not the rights the module sees, decides where it goes.
  System::Call 'kernel32::SetEnvironmentVariableW(w "${VP_SCOPE_VARIABLE}", w "$Scope")'
  ; The request: module folder, module file name, no runtime folder, no runtime files.
  System::Call '*(&m${NSIS_MAX_STRLEN} "$R1") p .r1'
  System::Call '*(&m16 "vaultpost.dll") p .r2'
  System::Call '*(p r1, p r2, p 0, p 0, i 0) p .r3'
  StrCpy $R2 -1
  System::Call 'kernel32::LoadLibraryW(w "$R0\vaultpost.dll") p .r4'
  ${If} $4 != 0
    System::Call 'kernel32::GetProcAddress(p r4, m "InstallDll") p .r5'
    ${If} $5 != 0
      ; quiet (this setup talks to the user), a restart prompt only for an
      ; interactive run, no skipped finish, no forced restart.
      ${If} ${Silent}
        System::Call '::$5(i 1, i 0, i 0, i 0, p r3) i .R2'
      ${Else}
        System::Call '::$5(i 1, i 1, i 0, i 0, p r3) i .R2'
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::FreeLibrary(p r4)'
  ${EndIf}
  System::Free $3
  System::Free $2
  System::Free $1

  SetDetailsPrint both
  DetailPrint "Removing the unpacked files"
  SetDetailsPrint none
  Delete "$R0\vaultpost.dll"
  RMDir $R0
  SetDetailsPrint both

  ${If} $R2 != 0
    DetailPrint "The ${VP_PRODUCT_NAME} could not be installed."
    SetErrorLevel ${EXIT_FAILED}
    ${IfNot} ${Silent}
      MessageBox MB_OK|MB_ICONSTOP "The ${VP_PRODUCT_NAME} could not be installed: the module could not copy \
its files into the installation folder. Nothing was registered."
    ${EndIf}
    Abort
  ${EndIf}
  DetailPrint "$FinishText"
SectionEnd
