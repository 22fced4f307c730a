# make run  [ARGS="a.mp4 clips/"]   builds and starts the program
# make test [SANITIZE=1]            builds and runs every test
BUILD    ?= build
SANITIZE ?= 0
JOBS     ?= 2
ifeq ($(SANITIZE),1)
BUILD := $(BUILD)-asan
endif
WERROR := $(if $(CI),ON,OFF)

.PHONY: setup configure build run test screenshots bench clean

setup:
	@bash scripts/setup.sh

$(BUILD)/CMakeCache.txt: | setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=$(if $(filter 1,$(SANITIZE)),ON,OFF) -DQV_WERROR=$(WERROR)

configure: setup $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/program/Quorvane_R $(ARGS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

screenshots: build
	QT_QPA_PLATFORM=offscreen bash scripts/screenshots.sh $(BUILD)

bench: build
	bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
