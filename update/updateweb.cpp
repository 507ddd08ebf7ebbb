#include "update/updateweb.h"

#include "resources/resource.h"
#include "talvobuildconfig.h"

CUpdateWeb::CUpdateWeb(framework::CWnd* pParent)
    : framework::CHtmlDialog(IDD_UPDATEWEB, IDR_HTML_UPDATEWEB, pParent) {}

BOOL CUpdateWeb::OnInitDialog() {
  framework::CHtmlDialog::OnInitDialog();
  Navigate(GetBannerUrl());
  return TRUE;
}

const char* GetBannerUrl() { return "http://" TALVO_WEB_HOST "/Banner2008/Banner_Update.html"; }
