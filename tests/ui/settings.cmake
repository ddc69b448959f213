# Widget tests use QTest for exposed windows and mouse clicks.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
target_link_libraries(${target} PRIVATE Qt6::Test)
