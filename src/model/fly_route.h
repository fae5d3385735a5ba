// The fly route: a chain of nodes the eye flies along, owned through the scene state block.
#pragma once

namespace t3d {

struct SceneState;

struct FlyRouteNode {
  float x = 0;
  float y = 0;
  FlyRouteNode* next = nullptr;
};

// Frees every node of the route and clears routeHead, routeCurrent and routeNodeCount.
void FreeFlyRoute(SceneState& state);

}  // namespace t3d
