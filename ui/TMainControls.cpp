#include "ui/TMainControls.h"

namespace lg {

using K = TControlKind;

const std::array<TControlDesign, kMainControlCount> kMainControls = {{
    {"picLogin", K::Picture, {664, 131, 302, 412}, true, true, "", "", kColourWhite, 12, 0, false, false},
    {"LGStart", K::Button, {680, 429, 266, 86}, true, false, "", "", kColourWhite, 12, 0, false, false},
    {"LGClose", K::Button, {687, 24, 39, 20}, true, true, "", "", kColourWhite, 12, 0, false, false},
    {"LGBtn1", K::Button, {96, 48, 60, 20}, true, true, "", "", kColourWhite, 12, 1, false, false},
    {"LGBtn2", K::Button, {168, 48, 60, 20}, true, true, "", "", kColourWhite, 12, 2, false, false},
    {"LGBtn3", K::Button, {240, 48, 60, 20}, true, true, "", "", kColourWhite, 12, 3, false, false},
    {"LGBtn4", K::Button, {312, 48, 60, 20}, true, true, "", "", kColourWhite, 12, 4, false, false},
    {"LGmin", K::Button, {616, 24, 60, 20}, true, true, "", "", kColourWhite, 12, 0, false, false},
    {"LGBtn5", K::Button, {384, 48, 60, 20}, false, true, "", "", kColourWhite, 12, 0, false, false},
    {"LGBtn6", K::Button, {456, 48, 60, 20}, false, true, "", "", kColourWhite, 12, 0, false, false},
    {"lbLstSelSrv",
     K::Label,
     {766, 182, 177, 20},
     true,
     true,
     "上次选择的服务器",
     "",
     kColourOrange,
     14,
     0,
     true,
     true},
    {"lbMember", K::Label, {690, 280, 249, 22}, false, true, "推荐", "", kColourWhite, 14, 0, false, false},
    {"lbIngUpdate", K::Label, {826, 456, 95, 18}, false, true, "", "跳过更新", kColourOrange, 12, 0, true, false},
    {"picSlogan", K::Picture, {168, 28, 193, 33}, true, true, "", "", kColourWhite, 12, 0, false, false},
    {"LGCurrent", K::Progress, {83, 477, 839, 17}, true, false, "", "", kColourWhite, 12, 0, false, false},
    {"LGPTotal", K::Progress, {83, 501, 839, 17}, true, false, "", "", kColourWhite, 12, 0, false, false},
    {"LBStatus", K::Label, {80, 456, 505, 17}, true, false, "进度说明", "", kColourOrange, 14, 0, false, false},
    {"lbCurSelSrv",
     K::Label,
     {690, 366, 249, 22},
     false,
     true,
     "当前选择的服务器",
     "",
     kColourWhite,
     14,
     0,
     false,
     false},
    {"btnSelServer", K::Button, {905, 356, 35, 40}, true, true, "", "", kColourWhite, 12, 0, false, false},
    {"btnSelMem", K::Button, {905, 269, 35, 40}, false, true, "", "", kColourWhite, 12, 0, false, false},
    {"LGLabel1", K::Label, {848, 244, 100, 17}, false, true, "", "刷新区服列表", kColourOrange, 12, 0, true, false},
    {"wb", K::Browser, {0, 0, 0, 0}, false, true, "", "", kColourWhite, 12, 0, false, false},
}};

std::optional<TMainControl> ControlByName(std::string_view name) {
  for (size_t i = 0; i < kMainControls.size(); ++i)
    if (name == kMainControls[i].name) return static_cast<TMainControl>(i);
  return std::nullopt;
}

}  // namespace lg
