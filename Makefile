# Thin wrapper over scripts/: the scripts install what is missing and build first.
.PHONY: run test build bench install
run:
	scripts/run.sh
test:
	scripts/test.sh
build:
	scripts/deps.sh && scripts/build.sh
bench:
	scripts/bench.sh
install: build
	cmake --install build
