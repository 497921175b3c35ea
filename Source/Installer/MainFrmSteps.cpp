// The install steps that later work fills in; until then each one does nothing.

#include "MainFrm.h"

bool TMainForm::DownloadFullSetup() {
    return true;
}
void TMainForm::UninstallOldVersion() {}
void TMainForm::KillRunningPrograms() {}
void TMainForm::InstallFiles() {}
void TMainForm::WriteRegistry() {}
void TMainForm::CreateShortCuts() {}
void TMainForm::WriteUninstallData() {}
void TMainForm::RegisterUninstall() {}
void TMainForm::RunWaitPrograms() {}
void TMainForm::RunAfterPrograms() {}
