// The banner strip at the bottom of the update window: the placeholder page, then the maker's
// banner page. Nothing in the updater depends on what the page shows.
#pragma once
#include "framework/htmldialog.h"

class CUpdateWeb : public framework::CHtmlDialog {
 public:
  explicit CUpdateWeb(framework::CWnd* pParent = nullptr);
  BOOL OnInitDialog() override;
};

// The address of the banner page on the maker's web server.
const char* GetBannerUrl();
