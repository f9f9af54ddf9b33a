// The media-library back-ends of this platform: the music server's library is MPD's, the
// player's is Rhythmbox's. The programs register them at start-up; tests install their own.
#pragma once

namespace pelcrow {

void RegisterDefaultMediaLibraries();

}  // namespace pelcrow
