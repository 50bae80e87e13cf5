// The built-in preset texts each plug-in must write into an empty profile
// section, "Item1" first: stated once here for the Linux and the Windows
// test hosts, independently of the plug-ins' own tables.
#pragma once

#include <string>
#include <vector>

inline const std::vector<std::string>& expectedDynamicPresets() {
  static const std::vector<std::string> texts = {
      "Flat (no effect),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,0,16384,0",
      "Soft Attack,3,2,0,1742,16384,1742,2,0,8192,16384,8192,2,0,0,16384,0",
      "Soft Release,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,0,16384,0",
      "Soft Dynamic,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,0,16384,0",
      "Soft Release+Effect,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,3834,16384,3834",
      "Soft Release+Chaos,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,16384,16384,16384",
      "Soft Dynamic+Effect,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,3834,16384,3834",
      "Soft Dynamic+Chaos,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,16384,16384,16384",
      "Hard Attack,3,2,0,12375,16384,12375,2,0,8192,16384,8192,2,0,0,16384,0",
      "Hard Attack Soft Release,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,0",
      "Effect,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,3834,16384,3834",
      "Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,16384,16384",
  };
  return texts;
}

inline const std::vector<std::string>& expectedFourierPresets() {
  static const std::vector<std::string> texts = {
      "No Effect,3,2,0,0,16384,16384",
      "Light Sound,3,3,0,0,11969,4740,16384,16384",
      "Poor Sound,3,3,0,0,14336,2163,16384,16384",
      "Only 1,3,3,0,0,16065,0,16384,16384",
      "Five,3,15,0,0,9739,0,10194,9686,10558,0,11195,0,11741,11386,12105,0,12652,0,13334,13292,"
      "13789,0,14336,0,14836,14838,15291,0,16065,0,16384,16384",
      "Hay Fever,3,4,0,0,4915,721,11468,15765,16384,16384",
  };
  return texts;
}
