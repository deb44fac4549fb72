#pragma once
// The desktop program's own texts: captions, hints and messages, kept in one
// place so the window code reads without them and a translation could
// replace them. UTF-8.

namespace salvage::ui::text {

inline constexpr const char* kApplicationTitle = "Kestrel Razuzuda Rezer";
inline constexpr const char* kProgramName = "Razuzuda Rezer";
// The single-instance name (the named mutex of the Windows program).
inline constexpr const char* kInstanceName = "KestrelRazuzuda Rezer";
// The start-up wizard's don't-show-again flag: "Software\" + title + "\DSA".
inline constexpr const char* kDsaKeyPrefix = "Software\\";
inline constexpr const char* kDsaKeySuffix = "\\DSA";
inline constexpr const char* kDsaValue = "DSA_State";

// Menus.
inline constexpr const char* kMenuFile = "&File";
inline constexpr const char* kMenuEdit = "&Edit";
inline constexpr const char* kMenuView = "&View";
inline constexpr const char* kMenuHelp = "&Help";

// Actions: menu caption, hint (short|long), tool-bar caption.
inline constexpr const char* kWizardHint = "Recovery Wizard";
inline constexpr const char* kWizardButton = "Wizard";
inline constexpr const char* kAnalyzeCaption = "&Analyze disk";
inline constexpr const char* kAnalyzeHint = "Analyze disk";
inline constexpr const char* kAnalyzeButton = "Analyze disk";
inline constexpr const char* kRecoverCaption = "&Recover files...";
inline constexpr const char* kRecoverHint = "Recover files...";
inline constexpr const char* kRecoverButton = "Recover";
inline constexpr const char* kStopCaption = "&Stop";
inline constexpr const char* kStopHint = "Stop";
inline constexpr const char* kStopButton = "Stop";
inline constexpr const char* kExitCaption = "E&xit";
inline constexpr const char* kExitHint = "Exit|Quits the application";
inline constexpr const char* kFindCaption = "&Find file...";
inline constexpr const char* kFindHint = "Find file...";
inline constexpr const char* kFindButton = "Find file";
inline constexpr const char* kFindNextCaption = "F&ind next file";
inline constexpr const char* kFindNextHint = "Find next file";
inline constexpr const char* kFilterCaption = "&Filter";
inline constexpr const char* kFilterHint = "Filter";
inline constexpr const char* kFilterButton = "Filter";
inline constexpr const char* kToolBarCaption = "&ToolBar";
inline constexpr const char* kStatusBarCaption = "&Status Bar";
inline constexpr const char* kContentsCaption = "Contents";
inline constexpr const char* kContentsHint = "Help";
inline constexpr const char* kHelpButton = "Help";
inline constexpr const char* kAboutCaption = "&About";
inline constexpr const char* kAboutHint = "About";
inline constexpr const char* kSettingsCaption = "Settings...";
inline constexpr const char* kSettingsHint = "Settings...";
inline constexpr const char* kOpenImageCaption = "&Open disk image...";
inline constexpr const char* kOpenImageHint = "Open disk image...|Adds a disk image or a device to the drive box";
inline constexpr const char* kOpenImageTitle = "Open disk image";
inline constexpr const char* kOpenImageFilter = "Disk images (*.img *.dd *.raw *.bin *.ima *.vfd *.iso);;All files (*)";

// Status bar.
inline constexpr const char* kAnalyzing = "Analyzing...";

// List columns.
inline constexpr const char* kColumnName = "Name";
inline constexpr const char* kColumnSize = "Size";
inline constexpr const char* kColumnCondition = "Condition";
inline constexpr const char* kColumnModified = "Modified";
inline constexpr const char* kColumnCreated = "Created";
inline constexpr const char* kConditionGood = "Good";
inline constexpr const char* kConditionBad = "Bad";

// Messages.
inline constexpr const char* kCloseQuestion =
    "Razuzuda Rezer is currently analyzing your disks.\r"
    "Would you like to stop the process and close the program?";
inline constexpr const char* kNoPermission =
    "You are not allowed to read %1.\r\r"
    "Reading a disk directly, below its files, needs administrator rights.";
inline constexpr const char* kOfferAdminRestart =
    "Would you like to start Razuzuda Rezer again with administrator rights? You will be asked for the "
    "administrator's password.";
inline constexpr const char* kNoAdminTool =
    "Start Razuzuda Rezer as the administrator (root) to read it, or give your user read access to the "
    "device.";
inline constexpr const char* kAdminRestartFailed = "Razuzuda Rezer could not be started with administrator rights.";
inline constexpr const char* kCannotOpen = "%1 cannot be opened:\r%2";
inline constexpr const char* kNothingToAnalyse =
    "%1 holds no FAT or NTFS volume.\r\rNo valid supported file system present on the volume.";
inline constexpr const char* kHelpMissing = "The help pages were not found beside the program.";
inline constexpr const char* kNotAvailableYet = "This part of Razuzuda Rezer is not available in this version yet.";
inline constexpr const char* kEmptyFolderName = "A folder name cannot be empty.";

// About box.
inline constexpr const char* kAboutTitle = "About Razuzuda Rezer";
inline constexpr const char* kAboutText =
    "<p><b>Kestrel Razuzuda Rezer</b><br>Version %1</p>"
    "<p>Finds deleted files on FAT12, FAT16, FAT32 and NTFS volumes and recovers them to a folder you "
    "choose. The volume it reads is never written to.</p>";

// Settings dialog.
inline constexpr const char* kSettingsTitle = "Settings";
inline constexpr const char* kSettingsPage = "Main";
inline constexpr const char* kSettingsDeterminate = "Determinate file's recovery probability";
inline constexpr const char* kSettingsShowWizard = "Show Wizard on startup";
inline constexpr const char* kSettingsMountPoint = "Show \"Mount Point\" prompt";
inline constexpr const char* kOK = "OK";
inline constexpr const char* kCancel = "Cancel";

// Find dialog.
inline constexpr const char* kFindTitle = "Find";
inline constexpr const char* kFindWhat = "Find what:";
inline constexpr const char* kFindDeletedOnly = "Deleted only";
inline constexpr const char* kFindNextButton = "Find Next";
// "Cannot find the file " + the pattern in double quotes + ".".
inline constexpr const char* kCannotFindFile = "Cannot find the file \"%1\".";

// Preview of a found file.
inline constexpr const char* kPreviewCaption = "Pre&view";
inline constexpr const char* kPreviewHint = "Preview|Shows the selected file as it would be recovered";
inline constexpr const char* kPreviewTitle = "Preview - %1";
inline constexpr const char* kPreviewDeleted = "Deleted file";
inline constexpr const char* kPreviewLive = "File (not deleted)";
inline constexpr const char* kPreviewCondition = "Condition: %1";
inline constexpr const char* kPreviewNotAssessed = "not assessed";
inline constexpr const char* kPreviewRecorded =
    "The bytes shown are known to be right: the volume records where the file's data lies.";
inline constexpr const char* kPreviewOneRun =
    "The bytes shown are known to be right: the file lies in one run of clusters that no other file claims.";
inline constexpr const char* kPreviewGapped =
    "The bytes shown may not be the file's: its clusters were gathered around clusters that other files hold.";
inline constexpr const char* kPreviewAmbiguous =
    "The bytes shown may not be the file's: the volume allows its clusters to lie elsewhere.";
inline constexpr const char* kPreviewCut = "Only the first %1 of %2 are shown.";
inline constexpr const char* kPreviewEmpty = "The file is empty.";
inline constexpr const char* kPreviewReading = "Reading...";
inline constexpr const char* kPreviewNothing = "Nothing of the file could be read.";
inline constexpr const char* kPreviewPicture = "Picture, %1 x %2";
inline constexpr const char* kPreviewText = "Text";
inline constexpr const char* kPreviewHex = "Bytes";
inline constexpr const char* kClose = "Close";

// Command line.
inline constexpr const char* kCommandLineHelp =
    "Finds deleted files on FAT and NTFS volumes and recovers them.";
inline constexpr const char* kCommandLineVolume = "A disk image or a device to add to the drive box and select.";

// The recovery wizard.
inline constexpr const char* kWizardCaption = "Razuzuda Rezer Wizard";
inline constexpr const char* kWizardWelcome = "Welcome to Razuzuda Rezer Wizard";
inline constexpr const char* kWizardIntro =
    "You can use Undelete File Wizard to restore deleted files after you have emptied the Recycle Bin.";
inline constexpr const char* kWizardSelectDrives = "Select the drives you want to scan for deleted files.";
inline constexpr const char* kWizardDrivesLabel = "Drives to be scanned:";
inline constexpr const char* kWizardSelectAll = "Select all";
inline constexpr const char* kWizardDeselectAll = "Deselect all";
inline constexpr const char* kWizardClickNext = "Click Next to set the search criteria.";
inline constexpr const char* kWizardWhat = "What do you want to search for?";
inline constexpr const char* kWizardCriteriaIntro =
    "Enter the desired search terms to narrow the search down. If you don't know the name or file extension, "
    "click Next to search for all deleted files.";
inline constexpr const char* kWizardCriteriaLabel = "Search criteria:";
inline constexpr const char* kWizardNotZeroSize = "Don't show 0-byte files";
inline constexpr const char* kWizardGoodOnly = "Show only files in good condition";
inline constexpr const char* kWizardResultTitle = "Search result - deleted files";
inline constexpr const char* kWizardFound = "Found:";
inline constexpr const char* kWizardRestored = "Restored:";
inline constexpr const char* kWizardStatus = "Search for deleted files. The result will be shown in the list below.";
inline constexpr const char* kWizardRestoreButton = "Restore...";
inline constexpr const char* kWizardCancelSearch = "Cancel Search";
inline constexpr const char* kWizardSearching = "Searching....";
inline constexpr const char* kWizardNext = "Next >";
inline constexpr const char* kWizardBack = "< Back";
inline constexpr const char* kWizardClose = "Close";
inline constexpr const char* kWizardHelp = "Help";
inline constexpr const char* kWizardDontShow = "Don't show wizard on startup.";
inline constexpr const char* kWizardColumns[] = {"Name", "Original path", "Size", "Type", "Modified on", "Condition"};
inline constexpr const char* kWizardGood = "Good";
inline constexpr const char* kWizardBad = "Bad";
inline constexpr const char* kWizardRestoreMenu = "Restore";
inline constexpr const char* kWizardRestoreAsMenu = "Restore as";
inline constexpr const char* kWizardSelectDrive = "Please select a drive and then click Next.";
inline constexpr const char* kWizardNoSelection =
    "No file selected. Please select one or more files and click Restore.";
inline constexpr const char* kWizardRestoreQuestion =
    "Do you want to restore the selected files or their original location?";
inline constexpr const char* kWizardChoosePath = "Choose path for recovery";
inline constexpr const char* kWizardFile = "File";
inline constexpr const char* kWizardDiskImage = "Disk image";
inline constexpr const char* kWizardDriveSkipped = "%1 was not searched: %2";
inline constexpr const char* kWizardNoRights = "You lack the rights to read this volume: %1";
inline constexpr const char* kWizardNotMounted =
    "The files cannot be restored to their original folders: %1 is not mounted (a disk image or a device "
    "without a mount point). Nothing was written. Choose \"Restore to an alternative location\" instead.";
inline constexpr const char* kWizardSameVolume =
    "The files will be written back onto the volume they were deleted from. Every file written there can "
    "overwrite deleted data that has not been restored yet; restoring to another disk is safer.\n\n"
    "Restore to the original folders anyway?";
inline constexpr const char* kWizardNotWritten = "%1 of the selected files could not be restored and stay in the list:";
inline constexpr const char* kWizardPartial = "%1 files could be restored only in part:";

// Recovery: the recover dialog, the restore confirmation, the broken-name
// dialog and the report at the end of a job.
inline constexpr const char* kRecovering = "Recover...";
inline constexpr const char* kRecoverTitle = "Recover";
inline constexpr const char* kRecoverFolderLabel = "Output folder:";
inline constexpr const char* kRecoverBrowse = "Browse...";
inline constexpr const char* kRecoverStructure = "Restore folder structure";
inline constexpr const char* kRecoverAllFiles = "Recover all files";
inline constexpr const char* kRecoverBrowseTitle = "Choose path for recovery";
inline constexpr const char* kRecoverChooseFolder = "Please, choose folder.";
inline constexpr const char* kRecoverCreateFolder =
    "The specified folder does not exist. Do you want to create it?";
inline constexpr const char* kRecoverNotCreated = "Folder has not been created!";
// The folder chosen lies where the recovery reads: the first line says
// where, the rest what that means.
inline constexpr const char* kRecoverSameDisk = "The folder %1 is on the disk you are recovering from (%2).";
inline constexpr const char* kRecoverInsideImage =
    "The folder %1 is inside the disk image you are recovering from (mounted through %2).";
inline constexpr const char* kRecoverSameDiskRisk =
    "Your deleted files are still there, in space that is marked as free. Files recovered into this "
    "folder can be written over them and destroy them for good.\r\r"
    "Please choose a folder on another disk, such as a USB stick or a second drive.\r\r"
    "Recover to this folder anyway?";

inline constexpr const char* kConfirmRestoreTitle = "Confirm Restore";
inline constexpr const char* kConfirmRestoreQuestion = "Where do you want to restore the selected objects to?";
inline constexpr const char* kConfirmRestoreOriginal = "Restore to the respective original folder";
inline constexpr const char* kConfirmRestoreOriginalNote =
    "Creates the original directory path of an object and restores it there if necessary.";
inline constexpr const char* kConfirmRestoreAlternative = "Restore to an alternative location";
inline constexpr const char* kConfirmRestoreAlternativeNote =
    "You can select the location to which you want the objects to be restored to.";

inline constexpr const char* kBrokenTitle = "Broken File Name";
inline constexpr const char* kBrokenOldLabel = "Broken file name:";
inline constexpr const char* kBrokenNewLabel = "New file name:";
inline constexpr const char* kBrokenChangeAll = "Change all unknown symbols to:";
inline constexpr const char* kBrokenSkip = "Skip";
inline constexpr const char* kBrokenSkipAll = "Skip All";
inline constexpr const char* kBrokenRename = "Rename";
inline constexpr const char* kBrokenRenameAll = "Rename All";
inline constexpr const char* kBrokenInvalidSymbol = "Invalid replacement character:";
inline constexpr const char* kBrokenInvalidName = "Invalid file name:";

// The report at the end of a recovery: what the job left on disk, counted
// as it really is.
inline constexpr const char* kReportFinished = "The recovery has finished.";
inline constexpr const char* kReportStopped = "The recovery was stopped before its end.";
inline constexpr const char* kReportFolder = "Folder: %1";
inline constexpr const char* kReportWrittenOne = "1 file was written (%1).";
inline constexpr const char* kReportWrittenMany = "%1 files were written (%2).";
inline constexpr const char* kReportNothingWritten = "No file was written.";
inline constexpr const char* kReportRenamedOne = "1 of them got a new name (\"NAME (2).EXT\"): its name was taken.";
inline constexpr const char* kReportRenamedMany =
    "%1 of them got new names (\"NAME (2).EXT\"): their names were taken.";
inline constexpr const char* kReportPartialOne = "1 file could be written only in part:";
inline constexpr const char* kReportPartialMany = "%1 files could be written only in part:";
inline constexpr const char* kReportFailedOne = "1 file or folder could not be written at all:";
inline constexpr const char* kReportFailedMany = "%1 files or folders could not be written at all:";
inline constexpr const char* kReportSkippedOne = "1 file or folder was left out (a skipped name or a reused record).";
inline constexpr const char* kReportSkippedMany =
    "%1 files or folders were left out (skipped names or reused records).";
inline constexpr const char* kReportMore = "and %1 more";
inline constexpr const char* kReportOpenFolder = "Open folder";
inline constexpr const char* kReportClose = "Close";

// The wizard's restore window.
inline constexpr const char* kRestoreWTitle = "Restore...";
inline constexpr const char* kRestoreWWait = "Please wait. Restoring the selected files.";

} // namespace salvage::ui::text
