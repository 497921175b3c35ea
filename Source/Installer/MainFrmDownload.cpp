// The download of a mini installer's full package; later work fills it in.

#include "MainFrm.h"

bool TMainForm::DownloadFullSetup() {
    return true;
}
