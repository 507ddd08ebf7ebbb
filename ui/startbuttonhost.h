// How the component list reaches the start button of the running update window without knowing
// the window: the application object implements this, and the list finds it from
// framework::GetApp().
#pragma once

class CxSkinButton;

class IStartButtonHost {
 public:
  // The running update window's start button; null while there is none.
  virtual CxSkinButton* GetStartButton() = 0;

 protected:
  ~IStartButtonHost() = default;
};
