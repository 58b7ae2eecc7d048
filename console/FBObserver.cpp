// The observer.
