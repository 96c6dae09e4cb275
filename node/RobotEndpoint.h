#ifndef VESK_NODE_ROBOTENDPOINT_H
#define VESK_NODE_ROBOTENDPOINT_H

// Where the robot listens for beat messages. The node only keeps this
// endpoint; it never opens a socket to it.
namespace robot_endpoint {

// A fixed address on the robot's private network.
constexpr const char* kAddress = "192.168.11.21";
constexpr int kPort = 21007;

}  // namespace robot_endpoint

#endif
