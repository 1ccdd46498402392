// Where the tests find the shared fixtures folder: files written by Access
// and by an independent writer, for the comparisons with them. The path is
// the build's setting (PRECIOS_SHARED_DIR / PRECIOS_FIXTURES_DIR); the folder
// may be absent, and the tests that need it then skip and say so.
//
// The path lives in one generated source file, so pointing a build at
// another folder relinks the tests instead of recompiling them.
#pragma once

namespace jet::testing {

const char* sharedFixturesDir();

}  // namespace jet::testing
