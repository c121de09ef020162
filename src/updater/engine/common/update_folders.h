#pragma once

// Sub-folders of the update folder (the data folder's "updfiles") that hold
// packages and module files.
inline constexpr char kContinuousFolder[] = "continuous";
inline constexpr char kPreliminaryFolder[] = "preliminary";
inline constexpr char kReverseFolder[] = "reverse";
inline constexpr char kBaseNonNupsFolder[] = "base_nonnups";
inline constexpr char kTempMirrorFolder[] = "tempMirror";
inline constexpr char kTempMirrorPcuFolder[] = "tempMirrorPCU";
