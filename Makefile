# make run  [ARGS="a.mp4 clips/"]   builds and starts the program
# make test [SANITIZE=1]            builds and runs every test
# make install [PREFIX=/usr/local] [DESTDIR=]   installs; make uninstall removes it again
# make package                      builds the Debian package (BUILD/*.deb)
BUILD    ?= build
SANITIZE ?= 0
JOBS     ?= 2
ifeq ($(SANITIZE),1)
BUILD := $(BUILD)-asan
endif
WERROR := $(if $(CI),ON,OFF)
PREFIX  ?= /usr/local
DESTDIR ?=

.PHONY: setup configure build run test screenshots bench install uninstall package clean

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

# A real install or removal tells the menu and the icon theme; a staged one (DESTDIR)
# leaves that to its package.
define refresh_desktop
	@if [ -z "$(DESTDIR)" ]; then \
	  if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$(PREFIX)/share/applications" || true; fi; \
	  if command -v gtk-update-icon-cache >/dev/null; then gtk-update-icon-cache -q -t "$(PREFIX)/share/icons/hicolor" || true; fi; \
	fi
endef

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	$(refresh_desktop)

uninstall:
	DESTDIR="$(DESTDIR)" cmake -DPREFIX="$(PREFIX)" -P $(BUILD)/uninstall.cmake
	$(refresh_desktop)

package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)
