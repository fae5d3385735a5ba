#include "model/fly_route.h"

#include "model/scene_state.h"

namespace t3d {

void FreeFlyRoute(SceneState& state) {
  FlyRouteNode* node = state.routeHead;
  while (node != nullptr) {
    FlyRouteNode* next = node->next;
    delete node;
    node = next;
  }
  state.routeHead = nullptr;
  state.routeCurrent = nullptr;
  state.routeNodeCount = 0;
}

}  // namespace t3d
