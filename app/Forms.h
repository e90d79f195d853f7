// The long-lived forms: created once (hidden) by the main block and reused
// by the commands; created on first use where the main block did not run.
#pragma once

class TfrmProgress;
class TfrmProgress2;
class TfrmPassword;
class TfrmMask;
class TfrmAbout;
class TfrmConfigure;
class TfrmTo;
class TfrmRenameFile;
class TfrmNewDirectory;
class TfrmFileAttributes;
class TfrmFileDateTime;
class TfrmCompress;

namespace forms {

TfrmProgress* frmProgress();
TfrmPassword* frmPassword();
TfrmMask* frmMask();
TfrmAbout* frmAbout();
TfrmConfigure* frmConfigure();
TfrmProgress2* frmProgress2();
TfrmTo* frmTo();
TfrmRenameFile* frmRenameFile();
TfrmNewDirectory* frmNewDirectory();
TfrmFileAttributes* frmFileAttributes();
TfrmFileDateTime* frmFileDateTime();
TfrmCompress* frmCompress();

// Creates every form in the main block's order.
void createAll();
void destroyAll();

} // namespace forms
