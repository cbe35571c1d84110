// The interactive program's growth runs. Each call walks one particle to
// rest (or until the user stops it) and returns: 0 when this call reached
// the limit and ended the run, 1 when the user stopped the walk, 2 when a
// stop was already requested on entry; any other value means a particle came
// to rest and the run goes on.
#pragma once

int dla_centrifugal();
int dla_centripetal();
