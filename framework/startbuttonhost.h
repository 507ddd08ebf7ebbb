// How a control reaches the start button of the running main dialog without knowing the dialog:
// the dialog implements this and the application object hands it out (CWinApp::GetStartButtonHost).
#pragma once

namespace framework {

class CWnd;

class IStartButtonHost {
 public:
  // The dialog's start button object; null while there is none.
  virtual CWnd* GetStartButton() = 0;

 protected:
  ~IStartButtonHost() = default;
};

}  // namespace framework
