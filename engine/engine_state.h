// What the one engine of the process is doing: conversion and preview share the AC-3 reader and
// never overlap.
#pragma once

namespace qelp {

enum class EngineActivity { idle, converting, playing };

extern EngineActivity g_activity;

}  // namespace qelp
