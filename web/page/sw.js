// Keeps the page and its module, so that it opens with the network off. Its cache is named for
// what it holds: a new build's worker replaces the old cache.
"use strict";
const Cache = "@CACHE@";
const Files = @FILES@;

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(Cache).then((cache) => cache.addAll(Files)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name.startsWith("zimbrots-") && name !== Cache)
      .map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

// The page's own files from the cache, whatever the address's query (?text= of a share).
self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== self.location.origin) return;
  event.respondWith(caches.open(Cache)
    .then((cache) => cache.match(event.request, {ignoreSearch: true}))
    .then((kept) => kept || fetch(event.request)));
});
